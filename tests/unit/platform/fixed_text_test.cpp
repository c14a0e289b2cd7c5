#include "platform/fixed_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(AppendText, StopsAtTheBufferAndSaysSo) {
    char buffer[8] = "abc";
    EXPECT_TRUE(AppendText(buffer, sizeof buffer, "def"));
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_FALSE(AppendText(buffer, sizeof buffer, "ghij"));
    EXPECT_STREQ(buffer, "abcdefg");
    char unterminated[4] = {'w', 'x', 'y', 'z'};
    EXPECT_FALSE(AppendText(unterminated, sizeof unterminated, "a"));
    EXPECT_STREQ(unterminated, "wxy");
}

TEST(AppendPath, AnUnterminatedBufferGetsNoLevelAdded) {
    char unterminated[4] = {'a', 'b', 'c', '\\'};
    EXPECT_FALSE(AppendPathLevel(unterminated, sizeof unterminated, "d"));
    EXPECT_EQ(unterminated[0], '\0');
}

TEST(AppendPath, NeverWritesPastTheBufferAndRefusesWhole) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    buffer[0] = '\0';
    EXPECT_TRUE(AppendPath(buffer, 8, "abcdefg")); // 7 characters and the terminator
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_FALSE(AppendPath(buffer, 8, "h"));
    EXPECT_STREQ(buffer, "");
    for (size_t at = 8; at < sizeof buffer; ++at)
        EXPECT_EQ(buffer[at], '#') << at;

    // A buffer with no terminator in it is refused, not read past.
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(AppendPath(unterminated, sizeof unterminated, ""));
    EXPECT_EQ(unterminated[0], '\0');
}

TEST(AppendPath, LevelsGetOneBackslashAndHangFromTheRootWhenEmpty) {
    char buffer[kPathSize] = "";
    ASSERT_TRUE(AppendPathLevel(buffer, sizeof buffer, "Tarrowby"));
    EXPECT_STREQ(buffer, "\\Tarrowby");
    ASSERT_TRUE(AppendPathLevel(buffer, sizeof buffer, "Lumenvault"));
    ASSERT_TRUE(AppendPathLevel(buffer, sizeof buffer, ""));
    ASSERT_TRUE(AppendPathLevel(buffer, sizeof buffer, ""));
    EXPECT_STREQ(buffer, "\\Tarrowby\\Lumenvault\\");
}

TEST(JoinPath, AddsOneSeparatorAndRefusesWhatDoesNotFit) {
    char path[kPathSize] = "unchanged";
    EXPECT_TRUE(JoinPath("C:\\WINDOWS", "A.scr", path, sizeof path));
    EXPECT_STREQ(path, "C:\\WINDOWS\\A.scr");
    EXPECT_TRUE(JoinPath("C:\\", "A.scr", path, sizeof path));
    EXPECT_STREQ(path, "C:\\A.scr");
    // An empty folder hangs the file from the root of the current drive.
    EXPECT_TRUE(JoinPath("", "A.scr", path, sizeof path));
    EXPECT_STREQ(path, "\\A.scr");
    const std::string folder = "C:\\" + std::string(250, 'w');
    EXPECT_TRUE(JoinPath(folder.c_str(), "12345", path, sizeof path)); // 259 characters
    EXPECT_EQ(std::strlen(path), 259u);
    EXPECT_FALSE(JoinPath(folder.c_str(), "123456", path, sizeof path));
    EXPECT_STREQ(path, "");
    // A folder that fills the buffer by itself leaves no room for the separator.
    const std::string full = "C:\\" + std::string(256, 'f');
    EXPECT_FALSE(JoinPath(full.c_str(), "", path, sizeof path));
    EXPECT_STREQ(path, "");
}

TEST(JoinPath, NeverWritesPastTheSizeItIsGiven) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_TRUE(JoinPath("C:\\W", "ab.scr", buffer, 12)); // 11 characters and the terminator
    EXPECT_STREQ(buffer, "C:\\W\\ab.scr");
    EXPECT_FALSE(JoinPath("C:\\W", "abc.scr", buffer, 12));
    EXPECT_STREQ(buffer, "");
    for (size_t at = 12; at < sizeof buffer; ++at)
        EXPECT_EQ(buffer[at], '#') << at;
    EXPECT_FALSE(JoinPath("C:\\", "a", buffer, 0));
}

TEST(RemoveTrailingBlanks, RemovesOnlyBlanksAtTheEnd) {
    char name[] = "  Aqua\t  ";
    RemoveTrailingBlanks(name);
    EXPECT_STREQ(name, "  Aqua\t");
    char blanks[] = "   ";
    RemoveTrailingBlanks(blanks);
    EXPECT_STREQ(blanks, "");
}

TEST(RemoveTrailingBlanks, CountsOnlyWithinTheLengthGiven) {
    // The device-name check trims the part before the first dot, not the whole name.
    EXPECT_EQ(LengthWithoutTrailingBlanks("CON  .txt", 5), 3u);
    EXPECT_EQ(LengthWithoutTrailingBlanks("   x", 3), 0u);
    EXPECT_EQ(LengthWithoutTrailingBlanks("", 0), 0u);
    char empty[] = "";
    RemoveTrailingBlanks(empty);
    EXPECT_STREQ(empty, "");
}

TEST(UpperCaseAscii, ChangesOnlyLatinLetters) {
    char folder[] = "C:\\Windows\\\xE9t\xE9-1";
    UpperCaseAscii(folder);
    EXPECT_STREQ(folder, "C:\\WINDOWS\\\xE9T\xE9-1");
}

TEST(UpperCaseAscii, LeavesTheNeighboursOfTheLatinLettersAlone) {
    EXPECT_EQ(ToUpperAscii('a'), 'A');
    EXPECT_EQ(ToUpperAscii('z'), 'Z');
    for (const char c : {'`', '{', '@', '[', 'A', 'Z', '\xE0', '\xFF'})
        EXPECT_EQ(ToUpperAscii(c), c) << static_cast<int>(static_cast<unsigned char>(c));
}

} // namespace
