#include "install/install_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

MemberEntry Media(const char* suffix, uint8_t prefix_kind) {
    MemberEntry entry{};
    entry.StoredSize = 1;
    std::memset(entry.NameSuffix, ' ', sizeof entry.NameSuffix);
    std::memcpy(entry.NameSuffix, suffix, std::min(std::strlen(suffix), sizeof entry.NameSuffix));
    entry.PrefixKind = prefix_kind;
    return entry;
}

const InstallNames kNames = {"Aurora", "C:\\windows\\Aurora.scr",
                             "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\"};

std::string Destination(uint32_t index, const MemberEntry& entry, uint16_t first_media_number,
                        const InstallNames& names = kNames) {
    char out[kPathSize];
    if (!MemberDestination(index, entry, first_media_number, names, out, sizeof out))
        return "<refused>";
    return out;
}

TEST(MemberDestination, FixedRolesGoToWindowsAndSharedFolder) {
    const MemberEntry entry = Media("", ' ');
    EXPECT_EQ(Destination(0, entry, 1), "C:\\windows\\Aurora.scr");
    EXPECT_EQ(Destination(1, entry, 1),
              "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\Aurora.dat");
    EXPECT_EQ(Destination(2, entry, 1),
              "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE");
}

TEST(MemberDestination, MediaNumbersArePaddedToFourDigitsAndGrowBeyond) {
    const std::string folder = kNames.shared_data_folder;
    const MemberEntry entry = Media(".MID", ' ');
    EXPECT_EQ(Destination(3, entry, 0), folder + "FILE0000.MID");
    EXPECT_EQ(Destination(3, entry, 51), folder + "FILE0051.MID");
    EXPECT_EQ(Destination(5, entry, 51), folder + "FILE0053.MID");
    EXPECT_EQ(Destination(3, entry, 9998), folder + "FILE9998.MID");
    EXPECT_EQ(Destination(4, entry, 9998), folder + "FILE9999.MID");
    EXPECT_EQ(Destination(5, entry, 9998), folder + "FILE10000.MID");
    EXPECT_EQ(Destination(5, entry, 65535), folder + "FILE65537.MID");
}

TEST(MemberDestination, PrefixKindChoosesThePrefix) {
    const std::string folder = kNames.shared_data_folder;
    EXPECT_EQ(Destination(3, Media(".wav", '_'), 7), folder + "JUK_0007.wav");
    EXPECT_EQ(Destination(3, Media(".wav", 0), 7), folder + "JUKE0007.wav");
    EXPECT_EQ(Destination(3, Media(".wav", ' '), 7), folder + "FILE0007.wav");
    EXPECT_EQ(Destination(3, Media(".wav", 'J'), 7), folder + "FILE0007.wav");
}

TEST(MemberDestination, SuffixIsFifteenCharactersAtMostAndLosesTrailingBlanks) {
    const std::string folder = kNames.shared_data_folder;
    // The prefix byte right after the suffix field never joins the name.
    EXPECT_EQ(Destination(3, Media("_ABCDEFGHIJ.XYZ", '_'), 1), folder + "JUK_0001_ABCDEFGHIJ.XYZ");
    EXPECT_EQ(Destination(3, Media("", ' '), 1), folder + "FILE0001");
    EXPECT_EQ(Destination(3, Media(".a b  ", ' '), 1), folder + "FILE0001.a b");
    MemberEntry nul_ended = Media(".MP3", ' ');
    nul_ended.NameSuffix[4] = '\0';
    nul_ended.NameSuffix[5] = 'X';
    EXPECT_EQ(Destination(3, nul_ended, 1), folder + "FILE0001.MP3");
}

TEST(MemberDestination, RefusesPathsThatDoNotFitOrHaveNoFolder) {
    const std::string long_folder = "C:\\" + std::string(243, 'f') + "\\";
    const InstallNames names = {"Aurora", "C:\\windows\\Aurora.scr", long_folder.c_str()};
    EXPECT_EQ(Destination(2, Media("", ' '), 1, names), long_folder + "UNINSTAL.EXE");
    EXPECT_EQ(Destination(3, Media(".MIDI", ' '), 1, names), "<refused>"); // 260 characters
    EXPECT_EQ(Destination(1, Media("", ' '), 1, names), long_folder + "Aurora.dat");

    const InstallNames no_folders = {"Aurora", "", ""};
    for (uint32_t index : {0u, 1u, 2u, 3u})
        EXPECT_EQ(Destination(index, Media(".MID", ' '), 1, no_folders), "<refused>") << index;
}

TEST(ScreenSaverNames, BaseNameAndKeyPathLoseOnlyTheLastExtension) {
    char out[kPathSize];
    ASSERT_TRUE(BuildScreenSaverBaseName("Star.Field 2.scr", out, sizeof out));
    EXPECT_STREQ(out, "Star.Field 2");
    ASSERT_TRUE(BuildScreenSaverBaseName("NoDot", out, sizeof out));
    EXPECT_STREQ(out, "NoDot");
    ASSERT_TRUE(BuildUninstallKeyPath("Star.Field 2.scr", out, sizeof out));
    EXPECT_STREQ(out, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Star.Field 2");

    // 51 + 1 + 208 characters do not fit into 259.
    const std::string long_file = std::string(204, 'n') + ".scr";
    EXPECT_FALSE(BuildUninstallKeyPath(long_file.c_str(), out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(BuildUninstallKeyPath(long_file.substr(1).c_str(), out, sizeof out));
    EXPECT_EQ(std::strlen(out), 259u - 4u);
}

TEST(ScreenSaverNames, PathGetsOneBackslashAfterTheWindowsDirectory) {
    char out[kPathSize];
    ASSERT_TRUE(BuildScreenSaverPath("C:\\WINDOWS", "Aurora.scr", out, sizeof out));
    EXPECT_STREQ(out, "C:\\WINDOWS\\Aurora.scr");
    ASSERT_TRUE(BuildScreenSaverPath("C:\\", "Aurora.scr", out, sizeof out));
    EXPECT_STREQ(out, "C:\\Aurora.scr");

    const std::string name_259 = std::string(255, 'n') + ".scr";
    EXPECT_FALSE(BuildScreenSaverPath("C:\\WINDOWS", name_259.c_str(), out, sizeof out));
    EXPECT_STREQ(out, "");
}

} // namespace
