#include "install/publisher_block.h"
#include "install/publisher_text.h"
#include "support/publisher_scrambler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

std::string Restore(const uint8_t (&block)[kPublisherBlockSize]) {
    char text[kPublisherTextSize];
    std::memset(text, 'x', sizeof text);
    RestorePublisherText(block, text);
    return text;
}

std::string Restore(const PublisherBlockBytes& bytes) {
    uint8_t block[kPublisherBlockSize];
    std::memcpy(block, bytes.data(), sizeof block);
    return Restore(block);
}

TEST(RestorePublisherText, InstallersBlockGivesThePublisher) {
    EXPECT_EQ(Restore(PublisherBlock), "Tarrowby");
}

TEST(RestorePublisherText, WorksByteByByteAsDescribed) {
    // 0x22 + 31 = 'A' -> 'a'; 0x42 + 31 = 'a' -> 'A'; 0x11 + 31 = '0' stays; 0xE1 + 31 = 0x100,
    // a zero byte, which ends the text; then reversed.
    uint8_t block[kPublisherBlockSize] = {0x22, 0x42, 0x11, 0xE1, 0x22, kPublisherBlockEnd};
    EXPECT_EQ(Restore(block), "0Aa");

    // Bytes above 0x7F are no letters and keep their case; 0x60 + 31 = 0x7F stays as well.
    uint8_t high[kPublisherBlockSize] = {0xC1, 0x60, kPublisherBlockEnd};
    EXPECT_EQ(Restore(high), std::string("\x7F\xE0"));
}

TEST(RestorePublisherText, MarkerFirstGivesAnEmptyText) {
    uint8_t block[kPublisherBlockSize] = {kPublisherBlockEnd, 0x22, 0x22};
    EXPECT_EQ(Restore(block), "");
}

TEST(RestorePublisherText, BlockWithoutMarkerEndsAtItsPadding) {
    uint8_t block[kPublisherBlockSize];
    std::memset(block, 0x22, sizeof block); // every byte restores to 'a'
    EXPECT_EQ(Restore(block), std::string(kPublisherBlockSize, 'a'));
}

TEST(ScramblePublisherText, RoundTripsThroughTheInstallersRestore) {
    for (const char* text : {"", "T", "Tarrowby", "Tarrowby Software, Inc.", "ÄÖÜ äöü 1.0",
                             "A longer publisher text that still fits, 68 bytes.........."}) {
        const auto block = ScramblePublisherText(text);
        ASSERT_TRUE(block.has_value()) << text;
        EXPECT_EQ(Restore(*block), text);
    }
    std::mt19937 random(4);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 69, ' ');
        for (char& c : text) {
            do
                c = static_cast<char>(random() % 256);
            while (c == 0 || c == 30 || c == 31);
        }
        const auto block = ScramblePublisherText(text);
        ASSERT_TRUE(block.has_value()) << round;
        EXPECT_EQ((*block)[text.size()], kPublisherBlockEnd);
        ASSERT_EQ(Restore(*block), text) << round;
    }
}

TEST(ScramblePublisherText, RefusesWhatTheBlockCannotCarry) {
    EXPECT_FALSE(ScramblePublisherText(std::string(69, 'a')).has_value());
    EXPECT_TRUE(ScramblePublisherText(std::string(68, 'a')).has_value());
    EXPECT_FALSE(ScramblePublisherText(std::string("a\x1F", 2)).has_value()); // would be 0
    EXPECT_FALSE(ScramblePublisherText(std::string("a\x1E", 2)).has_value()); // the marker
    EXPECT_FALSE(ScramblePublisherText(std::string("a\0b", 3)).has_value());
}

TEST(ScramblePublisherText, InstallersBlockIsTheGeneratedOne) {
    const auto block = ScramblePublisherText("Tarrowby");
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(0, std::memcmp(block->data(), PublisherBlock, kPublisherBlockSize));

    std::ifstream file(LMV_SOURCE_DIR "/install/publisher_block.h", std::ios::binary);
    std::stringstream stored;
    stored << file.rdbuf();
    EXPECT_EQ(stored.str(), RenderPublisherBlockHeader("Tarrowby", *block))
        << "regenerate install/publisher_block.h from RenderPublisherBlockHeader";
}

} // namespace
