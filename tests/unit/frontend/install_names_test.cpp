#include "frontend/install_names.h"

#include "frontend/prompt_texts.h"
#include "install/installer_state.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

class PrepareInstallNamesTest : public ::testing::Test {
  protected:
    void SetUp() override { std::memset(ScreenSaverFile, 'x', sizeof ScreenSaverFile); }
    void TearDown() override {
        ScreenSaverName[0] = '\0';
        ScreenSaverFile[0] = '\0';
    }
    void SetName(const std::string& name) {
        ASSERT_LT(name.size(), sizeof ScreenSaverName);
        std::strcpy(ScreenSaverName, name.c_str());
    }
    char caption[kInstallCaptionSize];
};

TEST_F(PrepareInstallNamesTest, TrimsTheNameAndBuildsCaptionAndFile) {
    SetName("Aquarium  ");
    EXPECT_TRUE(PrepareInstallNames(caption));
    EXPECT_STREQ(ScreenSaverName, "Aquarium");
    EXPECT_STREQ(caption, "Aquarium Screen Saver Installation");
    EXPECT_STREQ(ScreenSaverFile, "Aquarium.scr");
}

TEST_F(PrepareInstallNamesTest, AnEmptyOrBlankNameIsRefused) {
    // Its files would land in the folder that all of the publisher's screen savers share.
    for (const char* name : {"", "   "}) {
        SetName(name);
        EXPECT_FALSE(PrepareInstallNames(caption)) << '"' << name << '"';
    }
}

TEST_F(PrepareInstallNamesTest, ANameOver229CharactersIsShortenedInTheCaptionOnly) {
    SetName(std::string(229, 'a'));
    EXPECT_TRUE(PrepareInstallNames(caption));
    EXPECT_EQ(std::string(caption), std::string(229, 'a') + " Screen Saver Installation");

    SetName(std::string(255, 'b'));
    EXPECT_TRUE(PrepareInstallNames(caption));
    EXPECT_EQ(std::string(caption), std::string(226, 'b') + "... Screen Saver Installation");
    EXPECT_EQ(std::strlen(caption), kInstallCaptionSize - 1);
    EXPECT_EQ(std::string(ScreenSaverFile), std::string(255, 'b') + ".scr");
}

TEST_F(PrepareInstallNamesTest, ANameWithoutRoomForItsExtensionIsRefused) {
    SetName(std::string(256, 'c'));
    EXPECT_FALSE(PrepareInstallNames(caption));
    EXPECT_STREQ(ScreenSaverFile, "");
    // The full name field, 259 characters without its terminator's room for more.
    std::memset(ScreenSaverName, 'd', sizeof ScreenSaverName);
    EXPECT_FALSE(PrepareInstallNames(caption));
    EXPECT_EQ(std::strlen(ScreenSaverName), sizeof ScreenSaverName - 1);
    EXPECT_EQ(std::strlen(caption), kInstallCaptionSize - 1);
}

TEST_F(PrepareInstallNamesTest, ANameThatWouldLeaveItsFolderIsRefused) {
    // "Tea..." would install into a folder "Tea", which Windows makes of it.
    for (const char* name :
         {"..\\Evil", "a/b", "C:Evil", "Sub\\Dir", ".", "..", "...  ", " . .", "Tea..."}) {
        SetName(name);
        EXPECT_FALSE(PrepareInstallNames(caption)) << name;
        EXPECT_STREQ(ScreenSaverFile, "") << name;
    }
    for (const char* name : {"Dr. Who", ".hidden", "Tea... for two", "a..b"}) {
        SetName(name);
        EXPECT_TRUE(PrepareInstallNames(caption)) << name;
    }
}

} // namespace
