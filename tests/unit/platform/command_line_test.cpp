// The installer looks for its switch in what WinMain receives: the program's own name must
// never be part of it, or a folder such as "C:\My-Saver" would read as the silent switch "-S".
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Arguments(std::string command_line) {
    return ArgumentsAfterProgramName(command_line.data());
}

TEST(CommandLine, TheProgramsNameAndTheBlanksAfterItAreSkipped) {
    EXPECT_EQ(Arguments("Setup.exe /S"), "/S");
    EXPECT_EQ(Arguments("C:\\My-Saver\\Setup.exe"), "");
    EXPECT_EQ(Arguments("\"C:\\My Saver\\Setup.exe\"  \t/S -x"), "/S -x");
    EXPECT_EQ(Arguments("\"C:\\Program Files\\A -S\\Setup.exe\""), "");
    // Quotes around a part of the name count as Windows counts them.
    EXPECT_EQ(Arguments("C:\\\"My Saver\"\\Setup.exe /s"), "/s");
    EXPECT_EQ(Arguments("Setup.exe\t\"a b\""), "\"a b\"");
    EXPECT_EQ(Arguments(""), "");
    // An unclosed quote takes the rest of the line into the name.
    EXPECT_EQ(Arguments("\"C:\\Setup.exe /S"), "");
}

} // namespace
