#include "uninstaller/uninstaller_arguments.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UninstallerArguments, SilentSwitchInEitherCaseAndForm) {
    for (const char* line : {"/s", "/S", "-s", "-S", "  /s  ", "/x /s", "\"/s\""})
        EXPECT_EQ(ParseUninstallArguments(line).mode, UninstallMode::kSilent) << line;
    for (const char* line : {"", "/silent", "s", "/s2", "x/s", "/q"})
        EXPECT_EQ(ParseUninstallArguments(line).mode, UninstallMode::kInteractive) << line;
}

TEST(UninstallerArguments, PiecesOfABareBlankPathAreNotSwitches) {
    // "C:\ProgramData\Tarrowby\Lumenvault\Aurora 2.0\UNINSTAL.EXE" started without quotes: the
    // program sees the part after the first blank as its arguments.
    EXPECT_EQ(ParseUninstallArguments("2.0\\UNINSTAL.EXE").mode, UninstallMode::kInteractive);
    EXPECT_EQ(ParseUninstallArguments("2.0\\UNINSTAL.EXE /s").mode, UninstallMode::kSilent);
}

TEST(UninstallerArguments, FinishCommandRoundTrips) {
    char command[600];
    ASSERT_TRUE(
        BuildFinishCommand("C:\\Temp\\lmv1A2B.tmp", 0x1234,
                           "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora 2.0\\UNINSTAL.EXE",
                           command, sizeof command));
    const std::string line = command;
    ASSERT_TRUE(line.starts_with("\"C:\\Temp\\lmv1A2B.tmp\" "));
    const UninstallArguments parsed = ParseUninstallArguments(line.substr(line.find("\" ") + 2));
    EXPECT_EQ(parsed.mode, UninstallMode::kFinishRemoval);
    EXPECT_EQ(parsed.ended_process, 0x1234u);
    EXPECT_STREQ(parsed.original,
                 "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora 2.0\\UNINSTAL.EXE");

    EXPECT_FALSE(BuildFinishCommand("C:\\T\\a.tmp", 1, "C:\\x", command, 20));
    EXPECT_STREQ(command, "");
    EXPECT_FALSE(BuildFinishCommand("C:\\T\\a\".tmp", 1, "C:\\x", command, sizeof command));
}

TEST(UninstallerArguments, MalformedFinishRequestsRemoveNothing) {
    for (const char* line :
         {"/finish-removal", "/finish-removal x \"C:\\a\"", "/finish-removal 99999999999 \"C:\\a\"",
          "/finish-removal 12", "/FINISH-REMOVAL 12 \"\""}) {
        const UninstallArguments parsed = ParseUninstallArguments(line);
        EXPECT_EQ(parsed.mode, UninstallMode::kFinishRemoval) << line;
        EXPECT_STREQ(parsed.original, "") << line;
    }
    // Only as the first argument: elsewhere it is not a request.
    EXPECT_EQ(ParseUninstallArguments("/s /finish-removal 1 \"C:\\a\"").mode,
              UninstallMode::kSilent);
}

} // namespace
