#include "frontend/prompt_texts.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Thousands(uint32_t value) {
    char buffer[kThousandsSize];
    return FormatThousands(value, buffer);
}

TEST(FormatThousands, PutsACommaBetweenGroupsOfThreeDigits) {
    EXPECT_EQ(Thousands(0), "0");
    EXPECT_EQ(Thousands(7), "7");
    EXPECT_EQ(Thousands(999), "999");
    EXPECT_EQ(Thousands(1000), "1,000");
    EXPECT_EQ(Thousands(12345), "12,345");
    EXPECT_EQ(Thousands(123456), "123,456");
    EXPECT_EQ(Thousands(1000000), "1,000,000");
    EXPECT_EQ(Thousands(4294967295u), "4,294,967,295");
    EXPECT_EQ(Thousands(4294967295u).size() + 1, kThousandsSize);
}

TEST(PromptMessages, ReplaceAndDiskFullReadExactly) {
    char message[kMessageSize];
    BuildReplaceMessage("Aquarium .SCR", message);
    EXPECT_STREQ(message, "There is already a screen saver by the same name (Aquarium .SCR) "
                          "installed on your system.  Would you like to replace it?");
    BuildDiskFullMessage(1234, 1000, message);
    EXPECT_STREQ(message,
                 "You will need 1,234 kilobytes free in your Windows directory to install this "
                 "screen saver.  It appears that you only have 1,000 kilobytes free on this "
                 "drive.  Would you like to continue the installation?");
}

TEST(PromptMessages, TheLongestReplaceMessageFitsWhole) {
    const std::string file = std::string(259, 'n') + ".SCR";
    char message[kMessageSize];
    BuildReplaceMessage(file.c_str(), message);
    const std::string text = message;
    EXPECT_NE(text.find(file), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 11), "replace it?");
}

TEST(ConfirmMessage, NamesTheFolderAndTheSize) {
    char message[kMessageSize];
    BuildConfirmMessage("Aquarium", "C:\\WINDOWS", 1234567, message);
    EXPECT_STREQ(message, "This program will install Aquarium Screen Saver to C:\\WINDOWS and will "
                          "make it your default Screen Saver.  This installation will take "
                          "1,234,567 bytes.");
    BuildConfirmMessage("Aquarium", nullptr, 0, message);
    EXPECT_STREQ(message, "This program will install Aquarium Screen Saver to your Windows "
                          "directory and will make it your default Screen Saver.  This "
                          "installation will take 0 bytes.");
}

TEST(ConfirmMessage, ALongNameGivesWaySoTheFolderAndSizeStayWhole) {
    const std::string name(259, 'n');
    const std::string folder = "C:\\" + std::string(256, 'W');
    char message[kMessageSize];
    BuildConfirmMessage(name.c_str(), folder.c_str(), 4294967295u, message);
    const std::string text = message;
    EXPECT_EQ(text.size(), kMessageSize - 1);
    EXPECT_EQ(text.rfind("This program will install nnn", 0), 0u);
    EXPECT_NE(text.find("n... Screen Saver to " + folder + " and will make it"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 30), "will take 4,294,967,295 bytes.");
}

constexpr const char kPage[] = "https://example.com/player";

std::string CodecMessage(const std::string& types) {
    char message[kMessageSize];
    BuildCodecMessage(types.c_str(), kPage, message);
    return message;
}

TEST(CodecMessage, ListsTheTypesOnePerLineBeforeTheOffer) {
    EXPECT_EQ(CodecMessage(".MID\r\n.xyz\r\n"),
              "The following file types are not currently supported by your Windows media "
              "player:\r\n\r\n.MID\r\n.xyz\r\n\r\nThese file types must be supported before you "
              "can run this file.  Click on the OK button below to download a copy from "
              "https://example.com/player.  If you wish to get this file at a later time, click "
              "Cancel.");
}

TEST(CodecMessage, ATooLongListIsCutAfterAWholeLineAndMarked) {
    // Sixty distinct types as the install run collects them, cut by its 255-character buffer.
    std::string types;
    for (int i = 0; i < 60 && types.size() + 7 <= 255; ++i)
        types += ".x" + std::to_string(100 + i) + "\r\n";
    const std::string text = CodecMessage(types);
    EXPECT_LT(text.size(), kMessageSize);
    const std::string start =
        "The following file types are not currently supported by your Windows media "
        "player:\r\n\r\n";
    const std::string offer = "\r\nThese file types must be supported";
    ASSERT_EQ(text.rfind(start, 0), 0u);
    const size_t offer_at = text.find(offer);
    ASSERT_NE(offer_at, std::string::npos);
    const std::string listed = text.substr(start.size(), offer_at - start.size());
    // Whole lines of the list, then the marker line.
    ASSERT_GE(listed.size(), 5u);
    EXPECT_EQ(listed.substr(listed.size() - 5), "...\r\n");
    const std::string kept = listed.substr(0, listed.size() - 5);
    EXPECT_EQ(types.rfind(kept, 0), 0u);
    EXPECT_EQ(kept.size() % 7, 0u);
    EXPECT_GT(kept.size(), 0u);
    EXPECT_EQ(text.substr(text.size() - 7), "Cancel.");
    EXPECT_NE(text.find(kPage), std::string::npos);
}

TEST(CodecMessage, AListThatJustFitsIsNotCut) {
    const std::string fixed = CodecMessage("");
    const size_t room = kMessageSize - 1 - fixed.size();
    std::string types(room - 2, 'e');
    types += "\r\n";
    const std::string text = CodecMessage(types);
    EXPECT_EQ(text.size(), kMessageSize - 1);
    EXPECT_NE(text.find(types + "\r\nThese"), std::string::npos);
    EXPECT_EQ(text.find("...\r\n"), std::string::npos);
}

} // namespace

namespace {

TEST(AlreadyRunningMessage, NamesTheScreenSaverTrimmedWhateverItsLength) {
    char message[kMessageSize];
    for (const std::string& name : {std::string("Aurora"), std::string(259, 'N')}) {
        BuildAlreadyRunningMessage((name + "  ").c_str(), message);
        EXPECT_EQ(std::string(message), "Another installation or removal of " + name +
                                            " Screen Saver is running.  Wait until it has "
                                            "finished, and then run this installation again.");
    }
}

TEST(IncompleteMessage, NamesTheScreenSaverAndKeepsItsEndWhateverTheNameLength) {
    char message[kMessageSize];
    BuildIncompleteMessage("Aurora", message);
    EXPECT_EQ(std::string(message).rfind("The installation of Aurora Screen Saver could not be "
                                         "completed",
                                         0),
              0u);
    const std::string long_name(259, 'N');
    BuildIncompleteMessage(long_name.c_str(), message);
    const std::string text = message;
    EXPECT_LT(text.size(), kMessageSize);
    EXPECT_NE(text.find("Please download the installer again."), std::string::npos);
}

} // namespace
