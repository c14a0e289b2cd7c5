// lmvpack build, then list --json, extract and verify on the real stub: every member comes
// back byte for byte, stored and compressed, where the format says it lies.
#include "lmvpack_runner.h"
#include "support/pefile_checksums.h"
#include "support/test_bytes.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <random>

namespace {

using namespace lmvpack_test;

std::vector<uint8_t> WithoutChecksum(std::vector<uint8_t> file) {
    const size_t field = (file[60] | file[61] << 8 | file[62] << 16 | file[63] << 24) + 88;
    std::fill_n(file.begin() + static_cast<long>(field), 4, 0);
    return file;
}

std::vector<uint8_t> TextBytes(size_t size) {
    const std::string line = "Light bends over the northern sky; the screen glows and fades.\n";
    std::vector<uint8_t> bytes;
    while (bytes.size() < size)
        bytes.push_back(static_cast<uint8_t>(line[bytes.size() % line.size()]));
    return bytes;
}

struct SampleFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Six members with every compress choice, three of them media files.
std::vector<SampleFile> WriteSample(const fs::path& folder, const std::string& extra_keys = "") {
    std::vector<SampleFile> files = {{"saver.scr", ProgramBytes(TextBytes(5000))},
                                     {"saver.dat", RandomBytes(4000, 1)},
                                     {"uninstal.exe", ProgramBytes(TextBytes(700))},
                                     {"theme.mid", TextBytes(9000)},
                                     {"rain.wav", RandomBytes(1200, 2)},
                                     {"intro.avi", TextBytes(3000)}};
    for (const SampleFile& file : files)
        WriteBytes(folder / file.name, file.bytes);
    WriteText(folder / "license.txt", "First line\nSecond line\n");
    WriteText(folder / "saver.toml",
              "name = \"Aurora\"\n"
              "agreement = \"license.txt\"\n"
              "needs_directx = true\n"
              "top_color = \"#112233\"\n"
              "bottom_color = \"#A0B0C0\"\n"
              "first_media_number = 51\n" +
                  extra_keys +
                  "[screensaver]\nfile = \"saver.scr\"\ncompress = false\n"
                  "[data]\nfile = \"saver.dat\"\ncompress = true\n"
                  "[uninstaller]\nfile = \"uninstal.exe\"\n"
                  "[[media]]\nfile = \"theme.mid\"\nsuffix = \".MID\"\nprefix = \"FILE\"\ncompress "
                  "= true\n"
                  "[[media]]\nfile = \"rain.wav\"\nprefix = \"JUKE\"\ncompress = false\n"
                  "[[media]]\nfile = \"intro.avi\"\nsuffix = \".AVI\"\nprefix = \"JUK_\"\n");
    return files;
}

TEST(LmvpackRoundTrip, ListShowsTheTableAndExtractRestoresEveryMemberByteForByte) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    const std::vector<SampleFile> files = WriteSample(folder.path());
    const RunResult build = RunLmvpack(folder.path(), {"build", "saver.toml", "-o", "Setup.exe",
                                                       "--stub", stub.string(), "--quiet"});
    ASSERT_EQ(build.status, 0) << build.err;

    const RunResult list = RunLmvpack(folder.path(), {"list", "Setup.exe", "--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    const nlohmann::json json = nlohmann::json::parse(list.out);
    EXPECT_EQ(json["name"], "Aurora");
    EXPECT_EQ(json["agreement_length"], 25); // 10 and 11 characters, each line ended by CR LF
    EXPECT_EQ(json["needs_directx"], true);
    EXPECT_EQ(json["top_color"], "#112233");
    EXPECT_EQ(json["bottom_color"], "#A0B0C0");
    EXPECT_EQ(json["first_media_number"], 51);

    const std::vector<std::string> names = {"Aurora.scr",   "Aurora.dat",   "UNINSTAL.EXE",
                                            "FILE0051.MID", "JUKE0052.wav", "JUK_0053.AVI"};
    ASSERT_EQ(json["members"].size(), names.size());
    // The data follow the table and its terminator directly, in table order, and every
    // DataOffset counts from the start of the file.
    uint32_t expected_offset = json["package_offset"].get<uint32_t>() + 2 + 25 + 276 + 7 * 28;
    uint32_t total = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const nlohmann::json& member = json["members"][i];
        EXPECT_EQ(member["index"], i);
        EXPECT_EQ(member["installed_name"], names[i]);
        EXPECT_EQ(member["data_offset"], expected_offset) << names[i];
        expected_offset += member["stored_size"].get<uint32_t>();
        total += static_cast<uint32_t>(files[i].bytes.size());
    }
    EXPECT_EQ(expected_offset, fs::file_size(folder / "Setup.exe"));
    EXPECT_EQ(json["total_size"], total);
    // compress = false stores, compress = true codes even noise, "auto" codes the text.
    EXPECT_EQ(json["members"][0]["unpacked_size"], 0);
    EXPECT_EQ(json["members"][1]["unpacked_size"], files[1].bytes.size());
    EXPECT_EQ(json["members"][3]["unpacked_size"], files[3].bytes.size());
    EXPECT_EQ(json["members"][4]["unpacked_size"], 0);
    EXPECT_EQ(json["members"][5]["unpacked_size"], files[5].bytes.size());
    EXPECT_LT(json["members"][5]["stored_size"].get<uint32_t>(), files[5].bytes.size());

    const RunResult extract = RunLmvpack(folder.path(), {"extract", "Setup.exe", "-o", "out"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(ReadBytes(folder / "out" / names[i]), files[i].bytes) << names[i];
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "out"), fs::directory_iterator()), 6);

    const RunResult verify = RunLmvpack(folder.path(), {"verify", "Setup.exe", "--json"});
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_TRUE(nlohmann::json::parse(verify.out)["whole"].get<bool>());
}

TEST(LmvpackRoundTrip, SameInputsGiveTheSameBytesWhereverAndWheneverTheyAreBuilt) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteSample(folder.path() / "one");
    WriteSample(folder.path() / "two/deeper");
    // Different time stamps on the second copy must not show in the output.
    fs::last_write_time(folder / "two/deeper/theme.mid",
                        fs::file_time_type::clock::now() - std::chrono::hours(48));
    for (const std::string level : {"fast", "best"}) {
        const RunResult first =
            RunLmvpack(folder.path(), {"build", "one/saver.toml", "-o", "a.exe", "--stub",
                                       stub.string(), "--level", level});
        const RunResult second =
            RunLmvpack(folder.path(), {"build", "two/deeper/saver.toml", "-o", "b.exe", "--stub",
                                       stub.string(), "--level", level});
        ASSERT_EQ(first.status, 0) << first.err;
        ASSERT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(ReadBytes(folder / "a.exe"), ReadBytes(folder / "b.exe")) << level;
    }
}

// The stub's checksum covers the stub alone; every installer is a file of its own. Two
// installers one byte apart in length: the odd one has a last byte that is a word by itself.
TEST(LmvpackRoundTrip, EveryInstallerCarriesTheChecksumOfItsOwnBytes) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    const std::vector<SampleFile> files = WriteSample(folder.path());
    std::vector<size_t> sizes;
    for (const char* name : {"even-or-odd.exe", "odd-or-even.exe"}) {
        const RunResult build =
            RunLmvpack(folder.path(), {"build", "saver.toml", "-o", name, "--stub", stub.string()});
        ASSERT_EQ(build.status, 0) << build.err;
        const std::vector<uint8_t> installer = ReadBytes(folder / name);
        const PefileChecksums checksums = ChecksumsByPefile(folder / name);
        ASSERT_TRUE(checksums.read) << checksums.error;
        EXPECT_EQ(checksums.stored, checksums.computed) << name;
        EXPECT_NE(checksums.stored, ChecksumsByPefile(stub).stored) << name;
        sizes.push_back(installer.size());
        // The screen saver is stored as it is: one byte more makes the installer one longer.
        std::vector<uint8_t> longer = files[0].bytes;
        longer.push_back('!');
        WriteBytes(folder / files[0].name, longer);
    }
    EXPECT_EQ(sizes[1], sizes[0] + 1);
}

// The stub with 4 KiB more raw data in its resource section (the last section): room that a
// small package does not fill, however the linker happened to pad the real stub.
fs::path StubWithRoomAfterThePackage(const fs::path& stub, const fs::path& folder) {
    std::vector<uint8_t> bytes = ReadBytes(stub);
    const size_t lfanew = bytes[60] | bytes[61] << 8 | bytes[62] << 16 | bytes[63] << 24;
    const size_t sections = bytes[lfanew + 6] | bytes[lfanew + 7] << 8;
    const size_t raw_size = lfanew + 24 + 224 + 40 * (sections - 1) + 16;
    const uint32_t room = 4096;
    uint32_t size = 0;
    std::memcpy(&size, &bytes[raw_size], 4);
    size += room;
    std::memcpy(&bytes[raw_size], &size, 4);
    bytes.resize(bytes.size() + room, 0);
    WriteBytes(folder / "roomy-stub.exe", bytes);
    return folder / "roomy-stub.exe";
}

TEST(LmvpackRoundTrip, APackageShorterThanTheResourceSectionIsPaddedToItsEnd) {
    LMV_REQUIRE_STUB(real_stub);
    ScratchFolder folder;
    const fs::path stub = StubWithRoomAfterThePackage(real_stub, folder.path());
    for (const char* name : {"a.scr", "a.dat", "u.exe"})
        WriteText(folder / name, ProgramText("x"));
    WriteText(folder / "tiny.toml", "name = \"T\"\ncompress = false\nscreensaver = \"a.scr\"\ndata "
                                    "= \"a.dat\"\nuninstaller = \"u.exe\"\n");
    const RunResult build = RunLmvpack(
        folder.path(), {"build", "tiny.toml", "-o", "tiny.exe", "--stub", stub.string()});
    ASSERT_EQ(build.status, 0) << build.err;
    const std::vector<uint8_t> stub_bytes = WithoutChecksum(ReadBytes(stub));
    const std::vector<uint8_t> installer = ReadBytes(folder / "tiny.exe");
    const nlohmann::json json =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "tiny.exe", "--json"}).out);
    const uint32_t package_end = json["members"][2]["data_offset"].get<uint32_t>() +
                                 json["members"][2]["stored_size"].get<uint32_t>();
    ASSERT_LT(package_end, stub_bytes.size()) << "this stub leaves no room to test padding";
    // The stub's headers stay valid: the file is exactly as long as its sections say, and
    // nothing before the package changes but the checksum.
    ASSERT_EQ(installer.size(), stub_bytes.size());
    EXPECT_TRUE(std::equal(stub_bytes.begin(),
                           stub_bytes.begin() + json["package_offset"].get<long>(),
                           WithoutChecksum(installer).begin()));
    EXPECT_TRUE(std::all_of(installer.begin() + package_end, installer.end(),
                            [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(RunLmvpack(folder.path(), {"verify", "tiny.exe"}).status, 0);
}

// Only ASCII means the same characters on every Windows, whose code page the installer reads
// names in: anything else is refused before anything is built. Trailing blanks are kept as
// written; the installer trims them.
TEST(LmvpackRoundTrip, NamesAreAsciiAndTrailingBlanksAreKept) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteSample(folder.path());
    const std::string sample = ReadText(folder / "saver.toml");
    std::string manifest = sample;
    manifest.replace(manifest.find("\"Aurora\""), 8, "\"Café Ærø €  \"");
    WriteText(folder / "saver.toml", manifest);
    const RunResult refused = RunLmvpack(
        folder.path(), {"build", "saver.toml", "-o", "Setup.exe", "--stub", stub.string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("name: \"Café Ærø €  \" holds \"é\" (U+00E9), which is not ASCII"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(folder / "Setup.exe"));

    manifest = sample;
    manifest.replace(manifest.find("\"Aurora\""), 8, "\"Aurora 2.0  \"");
    WriteText(folder / "saver.toml", manifest);
    const RunResult build = RunLmvpack(
        folder.path(), {"build", "saver.toml", "-o", "Setup.exe", "--stub", stub.string()});
    ASSERT_EQ(build.status, 0) << build.err;
    EXPECT_NE(build.err.find("ends in blanks"), std::string::npos) << build.err;

    const std::vector<uint8_t> installer = ReadBytes(folder / "Setup.exe");
    const nlohmann::json json =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "Setup.exe", "--json"}).out);
    const size_t name_at = json["package_offset"].get<size_t>() + 2 + 25;
    const std::string expected = "Aurora 2.0  ";
    EXPECT_EQ(std::string(installer.begin() + static_cast<long>(name_at),
                          installer.begin() + static_cast<long>(name_at + expected.size() + 1)),
              expected + '\0');
    EXPECT_EQ(json["name"], "Aurora 2.0  ");
    EXPECT_EQ(json["members"][0]["installed_name"], "Aurora 2.0.scr");
    EXPECT_EQ(json["members"][1]["installed_name"], "Aurora 2.0.dat");
}

} // namespace

namespace {

using namespace lmvpack_test;

// Every file the build reads is refused as its output, by identity: the agreement too (it
// used to be overwritten, with exit status 0), and any other name that leads to one of them.
TEST(LmvpackRoundTrip, NeverWritesTheInstallerOverOneOfItsInputs) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteSample(folder.path());
    fs::copy_file(stub, folder / "stub.exe");
    fs::create_directory_symlink(folder.path(), folder / "same-folder");
    fs::create_symlink("license.txt", folder / "licence-link.txt");
    fs::create_hard_link(folder / "license.txt", folder / "licence-copy.txt");
    fs::create_hard_link(folder / "rain.wav", folder / "rain-copy.wav");
    const std::vector<uint8_t> license = ReadBytes(folder / "license.txt");
    const std::vector<uint8_t> rain = ReadBytes(folder / "rain.wav");
    for (const std::string target :
         {"stub.exe", "saver.toml", "theme.mid", "license.txt", "./license.txt",
          "same-folder/license.txt", "licence-link.txt", "licence-copy.txt", "rain-copy.wav"}) {
        const std::vector<uint8_t> before = ReadBytes(folder / target);
        const RunResult build =
            RunLmvpack(folder.path(), {"build", "saver.toml", "-o", target, "--stub", "stub.exe"});
        EXPECT_EQ(build.status, 2) << target;
        EXPECT_NE(build.err.find("is one of the build's inputs"), std::string::npos)
            << target << ": " << build.err;
        EXPECT_EQ(ReadBytes(folder / target), before) << target;
    }
    EXPECT_EQ(ReadBytes(folder / "license.txt"), license);
    EXPECT_EQ(ReadBytes(folder / "rain.wav"), rain);
    EXPECT_TRUE(fs::is_symlink(folder / "licence-link.txt"));
    EXPECT_EQ(fs::hard_link_count(folder / "license.txt"), 2u);
    // A file of its own next to them is still written.
    EXPECT_EQ(RunLmvpack(folder.path(), {"build", "saver.toml", "-o", "Setup.exe", "--stub",
                                         "stub.exe", "--quiet"})
                  .status,
              0);
}

} // namespace
