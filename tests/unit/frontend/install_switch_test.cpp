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

} // namespace
