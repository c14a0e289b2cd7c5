#include "package/member_names.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

MemberEntry Media(const char* suffix, size_t suffix_bytes, uint8_t prefix_kind) {
    MemberEntry entry{};
    std::memset(entry.NameSuffix, ' ', sizeof entry.NameSuffix);
    std::memcpy(entry.NameSuffix, suffix, suffix_bytes);
    entry.PrefixKind = prefix_kind;
    return entry;
}

std::string Name(const MemberEntry& entry, uint32_t index, uint16_t first, size_t size = 260) {
    char out[260];
    MediaFileName(entry, index, first, out, size);
    return out;
}

TEST(MediaFileName, ChoosesThePrefixByKind) {
    EXPECT_EQ(Name(Media(".MID", 4, '_'), 3, 51), "JUK_0051.MID");
    EXPECT_EQ(Name(Media(".MID", 4, 0), 3, 51), "JUKE0051.MID");
    EXPECT_EQ(Name(Media(".MID", 4, ' '), 3, 51), "FILE0051.MID");
    EXPECT_EQ(Name(Media(".MID", 4, 'A'), 3, 51), "FILE0051.MID");
}

TEST(MediaFileName, NumbersFromFirstMediaNumberPaddedToFourDigits) {
    const MemberEntry entry = Media(".WAV", 4, ' ');
    EXPECT_EQ(Name(entry, 3, 0), "FILE0000.WAV");
    EXPECT_EQ(Name(entry, 4, 51), "FILE0052.WAV");
    EXPECT_EQ(Name(entry, 3, 9998), "FILE9998.WAV");
    EXPECT_EQ(Name(entry, 4, 9998), "FILE9999.WAV");
    EXPECT_EQ(Name(entry, 5, 9998), "FILE10000.WAV");
    EXPECT_EQ(Name(entry, 3, 65535), "FILE65535.WAV");
}

TEST(MediaFileName, UsesAllFifteenSuffixBytesButNeverThePrefixKindByte) {
    MemberEntry entry = Media("ABCDEFGHIJKLMNO", 15, 'Z');
    EXPECT_EQ(Name(entry, 3, 1), "FILE0001ABCDEFGHIJKLMNO");
}

TEST(MediaFileName, StopsAtANulAndDropsTrailingBlanks) {
    MemberEntry entry = Media(".MP3\0junk", 9, ' ');
    EXPECT_EQ(Name(entry, 3, 7), "FILE0007.MP3");
    EXPECT_EQ(Name(Media("", 0, ' '), 3, 7), "FILE0007"); // blanks only
    EXPECT_EQ(Name(Media("a b  ", 5, ' '), 3, 7), "FILE0007a b");
}

TEST(MediaFileName, CutsToTheBufferAndStaysTerminated) {
    EXPECT_EQ(Name(Media(".WAV", 4, ' '), 3, 1, 6), "FILE0");
}

} // namespace
