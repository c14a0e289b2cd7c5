#include "frontend/install_switch.h"

#include "install/installer_state.h"

#include <gtest/gtest.h>

namespace {

TEST(InstallModeFromArguments, SlashOrDashSInEitherCaseIsSilent) {
    for (const char* arguments : {"/s", "/S", "-s", "-S", "/Silent", "x/S", "  /s  "})
        EXPECT_EQ(InstallModeFromArguments(arguments), kSilentMode) << arguments;
}

TEST(InstallModeFromArguments, OnlyTheFirstSlashCountsAndItHidesEveryDash) {
    EXPECT_EQ(InstallModeFromArguments("/q -S"), kInteractiveMode);
    EXPECT_EQ(InstallModeFromArguments("/q /S"), kInteractiveMode);
    EXPECT_EQ(InstallModeFromArguments("-S /q"), kInteractiveMode);
    EXPECT_EQ(InstallModeFromArguments("-q -S"), kInteractiveMode);
    EXPECT_EQ(InstallModeFromArguments("-S /s"), kSilentMode);
}

TEST(InstallModeFromArguments, NoSwitchLetterLeavesInteractive) {
    for (const char* arguments : {"", "s", "S", "/", "-", "x/", "/ S", "/t", "/\xF3"})
        EXPECT_EQ(InstallModeFromArguments(arguments), kInteractiveMode) << arguments;
    EXPECT_EQ(InstallModeFromArguments(nullptr), kInteractiveMode);
}

TEST(UnattendedRequested, TheWholeWordAnywhereInAnyCaseWithSlashOrDash) {
    for (const char* arguments : {"/UNATTENDED", "-UNATTENDED", "/unattended", "-Unattended",
                                  "/q /UnAttended", "/S -unattended", "  /UNATTENDED  ",
                                  "\"/UNATTENDED\"", "x\t/UNATTENDED\t/S", "/UNATTENDED /LOG=x"}) {
        EXPECT_TRUE(UnattendedRequested(arguments)) << arguments;
        // Silent too, whatever the first switch character says ("/q", "/U", "-U").
        EXPECT_EQ(InstallModeFromArguments(arguments), kSilentMode) << arguments;
    }
}

TEST(UnattendedRequested, NotAPartOfAnotherWordNorAnotherSwitch) {
    for (const char* arguments :
         {"", "/S", "UNATTENDED", "/UNATTEND", "/UNATTENDEDX", "x/UNATTENDED", "/ UNATTENDED",
          "--UNATTENDED", "/UNATTENDED-", "C:\\dir/UNATTENDED", "/UNATTENDED\xC9"})
        EXPECT_FALSE(UnattendedRequested(arguments)) << arguments;
    EXPECT_FALSE(UnattendedRequested(nullptr));
    // Without it, the first-character rule holds as before.
    EXPECT_EQ(InstallModeFromArguments("/UNATTEND"), kInteractiveMode);
    EXPECT_EQ(InstallModeFromArguments("-SUNATTENDED"), kSilentMode);
}

} // namespace
