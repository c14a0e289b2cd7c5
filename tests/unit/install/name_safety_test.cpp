#include "install/name_safety.h"

#include "platform/file_api.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace {

MemberEntry WithSuffix(const char* suffix) {
    MemberEntry entry{};
    std::memset(entry.NameSuffix, ' ', sizeof entry.NameSuffix);
    std::memcpy(entry.NameSuffix, suffix, std::min(std::strlen(suffix), sizeof entry.NameSuffix));
    return entry;
}

TEST(NameSafety, BaseNamesThatClimbOrChangeDriveAreRefused) {
    for (const char* name : {"Aurora", "Star.Field 2", "a..b", ".hidden", "Mr. T", " lead"})
        EXPECT_TRUE(IsSafeBaseName(name)) << name;
    for (const char* name :
         {"", "..", ".", "...", ". .", "..\\..\\WINDOWS\\system32", "a/b", "C:evil", "sub\\name"})
        EXPECT_FALSE(IsSafeBaseName(name)) << name;
}

// Windows drops a trailing dot or blank from a folder's name, which the other names keep.
TEST(NameSafety, BaseNamesEndingInADotOrABlankAreRefused) {
    for (const char* name : {"x.", "Mr. T.", "Aurora..", "Aurora ", "Aurora. ", "A\xE9."})
        EXPECT_FALSE(IsSafeBaseName(name)) << '"' << name << '"';
}

TEST(NameSafety, NamesBeyondAsciiReadAlikeOnlyInWindows1252) {
    struct Case {
        const char* name;
        uint32_t code_page;
        bool alike;
    };
    for (const Case& c :
         {Case{"Caf\xE9", 1252, true}, Case{"Caf\xE9", 932, false}, Case{"Caf\xE9", 65001, false},
          Case{"\x80uro", 1250, false}, Case{"Aurora 2.0  ", 932, true}, Case{"", 949, true},
          Case{"Gr\xFC\xDF"
               "e",
               1252, true},
          Case{"Gr\xFC\xDF"
               "e",
               936, false}})
        EXPECT_EQ(NameReadsAlikeInCodePage(c.name, c.code_page), c.alike)
            << '"' << c.name << "\" in " << c.code_page;
}

TEST(NameSafety, DeviceNamesAreRefusedInEveryFormWindowsAccepts) {
    for (const char* device :
         {"CON", "prn", "Aux", "NUL", "clock$", "CONIN$", "conout$", "COM1", "com9", "LPT1", "Lpt9",
          "COM\xB9", "LPT\xB2", "COM\xB3",
          // An extension does not make a device a file, nor do the blanks and dots that Windows
          // strips from the end of a name or before its extension.
          "NUL.scr", "con.txt.scr", "Aux. .", "NUL ", "LPT9. ", "COM1 .MID", "nul..", "PRN   "}) {
        EXPECT_TRUE(IsReservedDeviceName(device)) << device;
        EXPECT_FALSE(IsSafeBaseName(device)) << device;
    }
    // No port 0 (Windows opens COM0 and LPT0 as files), no superscript but 1, 2 and 3, and no
    // device without its "$".
    for (const char* file :
         {"CONSOLE", "NUL_",    "COM",     "COM0",         "COM10", "LPT",      "LPTA",
          " NUL",    "AUX1",    "xNUL",    "Nullsoft.scr", "COM1x", "CO",       "",
          "LPT0",    "COM\xB4", "LPT\xBC", "CONIN",        "CLOCK", "CONOUT$x", "CLOCK$$"}) {
        EXPECT_FALSE(IsReservedDeviceName(file)) << file;
    }
    for (const char* file : {"CONSOLE", "COM0", "Nullsoft.scr", " NUL", "LPT0", "CONIN"})
        EXPECT_TRUE(IsSafeBaseName(file)) << file;
}

// The uninstaller hands the rule one level of a longer path: only that much is the name.
TEST(NameSafety, ADeviceNameIsJudgedWithinTheLengthItIsGiven) {
    EXPECT_TRUE(IsReservedDeviceName(std::string_view("CON\\Aurora", 3)));
    EXPECT_TRUE(IsReservedDeviceName(std::string_view("NULL", 3)));
    EXPECT_TRUE(IsReservedDeviceName(std::string_view("com1\\x.dat", 4)));
    EXPECT_FALSE(IsReservedDeviceName(std::string_view("COM1", 3)));
    EXPECT_FALSE(IsReservedDeviceName(std::string_view("CONIN$", 5)));
    EXPECT_FALSE(IsReservedDeviceName(std::string_view("AUX", 0)));
}

TEST(NameSafety, TheStoredNameIsJudgedWithoutItsTrailingBlanksAndNeedsRoomForItsExtension) {
    EXPECT_TRUE(IsUsableScreenSaverName("Aurora   "));
    for (const char* name : {"", "   ", "NUL   ", "..\\Evil  ", ". . ", "Mr. T.  "})
        EXPECT_FALSE(IsUsableScreenSaverName(name)) << '"' << name << '"';
    // "<name>.scr" and its terminator fill a path buffer at 255 characters.
    EXPECT_TRUE(IsUsableScreenSaverName(std::string(255, 'L').append("    ").c_str()));
    EXPECT_FALSE(IsUsableScreenSaverName(std::string(256, 'L').c_str()));
}

TEST(NameSafety, SuffixesWithSeparatorsOrColonsAreRefused) {
    EXPECT_TRUE(IsSafeNameSuffix(WithSuffix(".MID")));
    EXPECT_TRUE(IsSafeNameSuffix(WithSuffix("..MID")));
    EXPECT_TRUE(IsSafeNameSuffix(WithSuffix("")));
    EXPECT_FALSE(IsSafeNameSuffix(WithSuffix("\\..\\..\\x.exe")));
    EXPECT_FALSE(IsSafeNameSuffix(WithSuffix("/x")));
    EXPECT_FALSE(IsSafeNameSuffix(WithSuffix(".wav:stream")));
    // All fifteen bytes count when no zero byte ends them early, and nothing after one does.
    MemberEntry last = WithSuffix("ABCDEFGHIJKLMN\\");
    last.PrefixKind = '/'; // the prefix byte is no part of the name
    EXPECT_FALSE(IsSafeNameSuffix(last));
    MemberEntry ended = WithSuffix(".MID");
    ended.NameSuffix[4] = '\0';
    ended.NameSuffix[5] = '\\';
    EXPECT_TRUE(IsSafeNameSuffix(ended));
}

TestPackage Package(const char* media_suffix, size_t media_index) {
    TestPackage package;
    for (size_t index = 0; index < 5; ++index) {
        TestMember member;
        member.data.assign(10, static_cast<uint8_t>(index));
        member.suffix = index == media_index ? media_suffix : ".MID";
        package.members.push_back(member);
    }
    return package;
}

TEST(NameSafety, TableIsCheckedForEveryMediaMember) {
    PlatSetModuleFileName(WriteSyntheticInstaller("good.exe", Package(".MID", 4)).c_str());
    EXPECT_TRUE(MemberNamesAreSafe());
    PlatSetModuleFileName(WriteSyntheticInstaller("bad.exe", Package("\\..\\x.exe", 4)).c_str());
    EXPECT_FALSE(MemberNamesAreSafe());
    // The fixed-role members take no name from their suffix.
    PlatSetModuleFileName(WriteSyntheticInstaller("fixed.exe", Package("\\..\\x.exe", 2)).c_str());
    EXPECT_TRUE(MemberNamesAreSafe());
    PlatSetModuleFileName("/nonexistent/installer.exe");
    EXPECT_TRUE(MemberNamesAreSafe()); // nothing will be walked, so nothing will be written
}

} // namespace
