// The layout's builders against the paths the installer's folders are known by (the literal
// expectations here are the independent statement of that layout).
#include "install/install_layout.h"

#include "platform/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What a builder leaves in a buffer of `size` bytes that holds `start`, or "<refused>".
template <typename Build> std::string Built(const std::string& start, size_t size, Build build) {
    std::string buffer(size, 'x');
    std::copy(start.begin(), start.end(), buffer.begin());
    buffer[start.size()] = '\0';
    const bool built = build(buffer.data(), size);
    const std::string text = buffer.c_str();
    if (!built) return text.empty() ? "<refused>" : "<refused, left " + text + ">";
    return text;
}

std::string OwnFolder(const std::string& data_folder, const char* name, size_t size = kPathSize) {
    return Built(data_folder, size,
                 [&](char* folder, size_t n) { return AppendOwnLevels(folder, n, name); });
}

TEST(InstallLayout, OwnFolderHangsBelowTheDataFolderAndEndsInABackslash) {
    EXPECT_EQ(OwnFolder("C:\\ProgramData", "Aurora"),
              "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\");
    EXPECT_EQ(OwnFolder("D:\\", "Aurora 2.0"), "D:\\Tarrowby\\Lumenvault\\Aurora 2.0\\");
    // An unreadable data folder leaves the levels hanging from the current drive's root.
    EXPECT_EQ(OwnFolder("", "Aurora"), "\\Tarrowby\\Lumenvault\\Aurora\\");

    const std::string fallback = Built("C:\\WINDOWS", kPathSize, AppendFallbackDataLevels);
    EXPECT_EQ(fallback, "C:\\WINDOWS\\All Users\\Application Data");
    EXPECT_EQ(OwnFolder(fallback, "A"),
              "C:\\WINDOWS\\All Users\\Application Data\\Tarrowby\\Lumenvault\\A\\");
}

TEST(InstallLayout, AFolderThatDoesNotFitWholeIsRefusedAndLeftEmpty) {
    const std::string whole = "C:\\D\\Tarrowby\\Lumenvault\\Aurora\\";
    EXPECT_EQ(OwnFolder("C:\\D", "Aurora", whole.size() + 1), whole);
    for (size_t size : {whole.size(), whole.size() - 1, size_t{12}})
        EXPECT_EQ(OwnFolder("C:\\D", "Aurora", size), "<refused>") << size;
    EXPECT_EQ(Built("C:\\WINDOWS", 30, AppendFallbackDataLevels), "<refused>");
}

std::string LogPath(const char* folder, size_t size = kPathSize) {
    return Built("", size,
                 [&](char* out, size_t n) { return BuildInstallLogPath(folder, out, n); });
}

TEST(InstallLayout, TheLogLiesInTheOwnFolderOrNowhere) {
    EXPECT_EQ(LogPath("C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\"),
              "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\INSTALL.LOG");
    // No folder is no log: a bare "INSTALL.LOG" would land in the current folder.
    EXPECT_EQ(LogPath(""), "<refused>");
    EXPECT_EQ(LogPath("C:\\A\\", 17), "C:\\A\\INSTALL.LOG");
    EXPECT_EQ(LogPath("C:\\A\\", 16), "<refused>");
}

} // namespace
