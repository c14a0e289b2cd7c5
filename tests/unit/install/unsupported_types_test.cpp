#include "install/unsupported_types.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string TypeOf(const char* path) {
    char out[260];
    MediaTypeOf(path, out, sizeof out);
    return out;
}

TEST(MediaTypeOf, IsTheFileNameFromItsLastDot) {
    EXPECT_EQ(TypeOf("C:\\Data\\Aurora\\FILE0051.MID"), ".MID");
    EXPECT_EQ(TypeOf("C:\\Data\\Aurora\\JUK_0001.tar.gz"), ".gz");
    EXPECT_EQ(TypeOf("C:\\Data\\Aurora\\FILE0001.mp3"), ".mp3");
    // A dot in a folder name is no type of the file.
    EXPECT_EQ(TypeOf("C:\\Data\\Star.Field\\FILE0051"), "FILE0051");
    EXPECT_EQ(TypeOf("C:\\Data\\Aurora\\JUKE0002"), "JUKE0002");
    EXPECT_EQ(TypeOf("FILE0003.x"), ".x");
}

TEST(MediaTypeOf, CutsToTheOutputBuffer) {
    char out[4];
    MediaTypeOf("C:\\a\\FILE0001.MPEG", out, sizeof out);
    EXPECT_STREQ(out, ".MP");
}

class UnsupportedTypesList : public testing::Test {
  protected:
    char types[256] = "";
    void Add(const char* type) { AddUnsupportedType(types, sizeof types, type); }
};

TEST_F(UnsupportedTypesList, EachTypeOnceWithItsLineEnd) {
    Add(".MID");
    Add(".MID");
    Add(".xyz");
    EXPECT_STREQ(types, ".MID\r\n.xyz\r\n");
}

TEST_F(UnsupportedTypesList, PlainCaseSensitiveSubstringSearch) {
    Add(".MP3");
    Add(".MP"); // contained in ".MP3"
    Add(".mid");
    Add(".MID"); // differs in case
    Add("P3");   // any contained text, not only whole types
    EXPECT_STREQ(types, ".MP3\r\n.mid\r\n.MID\r\n");
}

TEST_F(UnsupportedTypesList, FullListEndsWithTheMarkerAndStaysTerminated) {
    // Many distinct types of 9 characters each (11 with the line end).
    for (int n = 0; n < 60; ++n) {
        char type[24];
        std::snprintf(type, sizeof type, ".TYPE%04d", n);
        Add(type);
    }
    const std::string list = types;
    ASSERT_LT(list.size(), sizeof types);
    ASSERT_GE(list.size(), 5u);
    EXPECT_EQ(list.substr(list.size() - 5), kMoreTypesLine);
    // Every line is whole: 22 types of 11 bytes and the marker.
    EXPECT_EQ(list.size(), 22u * 11u + 5u);
    EXPECT_EQ(list.find("..."), list.size() - 5);
    EXPECT_EQ(list.rfind(".TYPE0021\r\n"), list.size() - 5 - 11);
    Add("Q"); // three bytes and the marker's room: it would still fit
    EXPECT_EQ(std::string(types), list);
}

TEST_F(UnsupportedTypesList, TypeLongerThanTheListLeavesOnlyTheMarker) {
    const std::string huge(300, 'Q');
    Add(huge.c_str());
    EXPECT_STREQ(types, kMoreTypesLine);
    Add(".MID"); // room enough, but the marker stays the last line
    EXPECT_STREQ(types, kMoreTypesLine);
}

TEST_F(UnsupportedTypesList, NeverWritesPastASmallBuffer) {
    char small[13];
    std::memset(small, '#', sizeof small);
    small[0] = '\0';
    AddUnsupportedType(small, 11, ".ab"); // the type, CR LF and room for the marker line
    EXPECT_STREQ(small, ".ab\r\n");
    AddUnsupportedType(small, 11, ".c");
    EXPECT_STREQ(small, ".ab\r\n...\r\n");
    AddUnsupportedType(small, 11, ".d");
    EXPECT_STREQ(small, ".ab\r\n...\r\n");
    EXPECT_EQ(small[11], '#');
    EXPECT_EQ(small[12], '#');
}

} // namespace
