// Texts go into the package in Windows-1252 and come back out as UTF-8.
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/support/ansi_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(AnsiText, ConvertsWindows1252CharactersBothWays) {
    // Latin-1 letters, the euro sign and the typographic quotes of the 0x80..0x9F block.
    const std::string utf8 = "Caf\u00E9 \u20AC \u201Cq\u201D \u0160 \u00FF";
    const AnsiConversion ansi = Utf8ToWindows1252(utf8);
    ASSERT_EQ(ansi.problem, "");
    EXPECT_EQ(ansi.text, "Caf\xE9 \x80 \x93q\x94 \x8A \xFF");
    EXPECT_EQ(Windows1252ToUtf8(ansi.text), utf8);
}

TEST(AnsiText, RefusesWhatWindows1252CannotHoldAndBrokenUtf8) {
    EXPECT_NE(Utf8ToWindows1252("snow \u2603").problem.find("U+2603"), std::string::npos);
    EXPECT_NE(Utf8ToWindows1252("\u0141odz").problem.find("U+0141"), std::string::npos);
    EXPECT_NE(Utf8ToWindows1252("cut \xC3").problem.find("not valid UTF-8"), std::string::npos);
    EXPECT_NE(Utf8ToWindows1252("bad \xC3(").problem.find("not valid UTF-8"), std::string::npos);
    // An overlong "/" must not slip through as a path separator.
    EXPECT_NE(Utf8ToWindows1252("a\xC0\xAF"
                                "b")
                  .problem.find("overlong"),
              std::string::npos);
    // The undefined bytes of Windows-1252 show as replacement characters.
    EXPECT_EQ(Windows1252ToUtf8("\x81"), "\uFFFD");
}

TEST(AnsiText, NamesTheFirstCharacterBeyondAscii) {
    EXPECT_EQ(FirstNonAsciiCharacter("Aurora 2.0 ~!"), "");
    EXPECT_EQ(FirstNonAsciiCharacter("Caf\u00E9 \u20AC"), "\"\u00E9\" (U+00E9)");
    EXPECT_EQ(FirstNonAsciiCharacter("\u20ACuro"), "\"\u20AC\" (U+20AC)");
    EXPECT_EQ(FirstNonAsciiCharacter("snow \U0001F328"), "\"\U0001F328\" (U+1F328)");
    EXPECT_EQ(FirstNonAsciiCharacter("cut \xC3"), "the byte 0xC3");
}

TEST(InstalledNames, FollowTheInstallersNamingByIndex) {
    MemberEntry entry{};
    std::memcpy(entry.NameSuffix, ".MID           ", 15);
    entry.PrefixKind = ' ';
    EXPECT_EQ(InstalledName(0, entry, "Aurora  ", 51), "Aurora.scr");
    EXPECT_EQ(InstalledName(1, entry, "Aurora  ", 51), "Aurora.dat");
    EXPECT_EQ(InstalledName(2, entry, "Aurora  ", 51), "UNINSTAL.EXE");
    EXPECT_EQ(InstalledName(3, entry, "Aurora", 51), "FILE0051.MID");
    EXPECT_EQ(InstalledName(5, entry, "Aurora", 51), "FILE0053.MID");
}

TEST(InstalledNames, AcceptOnlyPlainFileNames) {
    for (const char* good :
         {"Aurora.scr", "FILE0001.MID", "...scr", "a b.dat", "CONSOLE.scr", "COM0.scr", "LPT10"})
        EXPECT_EQ(FileNameProblem(good), "") << good;
    for (const char* bad :
         {"", ".", "..", "a/b", "a\\b", "..\\x", "C:x", "a:b", "a\x01", "a|b", "a?b", "CON",
          "con.scr", "NUL .dat", "COM1.MID", "LPT9", "Aux. .", "COM\xB2.scr", "CONIN$"})
        EXPECT_NE(FileNameProblem(bad), "") << bad;
    // Windows drops a trailing dot or blank from the name it creates; the log keeps it.
    for (const char* bad : {"Mr. T.", "FILE0001.MID.", "Aurora ", "x. "})
        EXPECT_NE(FileNameProblem(bad).find("ends in a"), std::string::npos) << bad;
    EXPECT_EQ(FileNameProblem("Mr. T"), "");
}

} // namespace
