#include "install/display_version.h"

#include "tools/lmvpack/pe/version_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Version information as lmvpack writes it for a manifest's [version] table.
std::vector<uint8_t> Resource(std::vector<std::pair<std::string, std::string>> strings) {
    VersionInfo info;
    info.number = {1, 2, 3, 4};
    info.strings = std::move(strings);
    return BuildVersionResource(info);
}

std::string Read(const std::vector<uint8_t>& data, size_t size) {
    char out[kDisplayVersionSize] = "unchanged";
    const bool found = DisplayVersionFromVersionInfo(data.data(), size, out);
    EXPECT_EQ(found, out[0] != '\0');
    return out;
}

std::string Read(const std::vector<uint8_t>& data) {
    return Read(data, data.size());
}

TEST(DisplayVersion, TheProductVersionAsTheAuthorWroteIt) {
    EXPECT_EQ(Read(Resource({{"CompanyName", "Acme"},
                             {"FileDescription", "Aurora Setup"},
                             {"FileVersion", "3.4"},
                             {"ProductName", "Aurora"},
                             {"ProductVersion", "3.4"}})),
              "3.4");
    // Only the product version counts, wherever it stands in the table.
    EXPECT_EQ(Read(Resource({{"ProductVersion", "1.2.3.4"}, {"FileVersion", "9.9"}})), "1.2.3.4");
}

TEST(DisplayVersion, NoneWithoutAnAuthorsVersion) {
    // The stub's own information names lmvpack's release, not the screen saver's.
    EXPECT_EQ(Read(Resource({{"ProductName", "lmvpack"}, {"ProductVersion", "1.0.0"}})), "");
    EXPECT_EQ(Read(Resource({{"ProductName", "Aurora"}})), "");
    EXPECT_EQ(Read(Resource({{"ProductVersion", ""}})), "");
    EXPECT_EQ(Read({}, 0), "");
}

TEST(DisplayVersion, ATextThatIsNoVersionIsNotWritten) {
    EXPECT_EQ(Read(Resource({{"ProductVersion", std::string(63, '7')}})), std::string(63, '7'));
    EXPECT_EQ(Read(Resource({{"ProductVersion", std::string(64, '7')}})), "");
    EXPECT_EQ(Read(Resource({{"ProductVersion", "2.0 \xC3\xA9"}})), ""); // "2.0 é"
    EXPECT_EQ(Read(Resource({{"ProductVersion", "2.0\t"}})), "");
    // A product that merely starts like lmvpack is an author's.
    EXPECT_EQ(Read(Resource({{"ProductName", "lmvpack2"}, {"ProductVersion", "5"}})), "5");
}

TEST(DisplayVersion, NeverReadsPastTheDataItIsGiven) {
    const std::vector<uint8_t> data =
        Resource({{"ProductName", "Aurora"}, {"ProductVersion", "7.1"}});
    ASSERT_EQ(Read(data), "7.1");
    // Cut anywhere, the data is either still whole enough or no version; under AddressSanitizer
    // a read past the copy's end would fail the test.
    for (size_t size = 0; size < data.size(); ++size) {
        const std::vector<uint8_t> cut(data.begin(), data.begin() + static_cast<long>(size));
        const std::string found = Read(cut, size);
        EXPECT_TRUE(found.empty()) << size << ": " << found;
    }
    // A root whose value claims more bytes than there are.
    std::vector<uint8_t> bent = data;
    bent[2] = 0xFF;
    bent[3] = 0xFF;
    EXPECT_EQ(Read(bent), "");
}

} // namespace
