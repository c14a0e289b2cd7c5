#include "decode/byte_sink.h"

#include "tests/unit/decode/recording_file.h"

#include <gtest/gtest.h>

namespace {

uint8_t ByteAt(uint32_t index) {
    return static_cast<uint8_t>(index * 13 + index / 256);
}

class ByteSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WritePtr(nullptr, 0, 0);
        destination_ = recorder_.Open();
        ASSERT_NE(destination_, nullptr);
    }

    // Hands bytes [first, first + count) of a member of `total` bytes to the sink.
    void Feed(uint32_t first, uint32_t count, uint32_t total) {
        for (uint32_t i = first; i < first + count; ++i)
            WritePtr(destination_, ByteAt(i), total);
    }

    static std::vector<uint8_t> Expected(uint32_t count) {
        std::vector<uint8_t> bytes(count);
        for (uint32_t i = 0; i < count; ++i)
            bytes[i] = ByteAt(i);
        return bytes;
    }

    RecordingFile recorder_;
    FILE* destination_ = nullptr;
};

struct BlockPattern {
    uint32_t total;
    std::vector<size_t> writes;
};

class ByteSinkBlockTest : public ByteSinkTest,
                          public ::testing::WithParamInterface<BlockPattern> {};

TEST_P(ByteSinkBlockTest, WritesFullBlocksAndTheLastOnTheCompletingByte) {
    const BlockPattern& pattern = GetParam();
    Feed(0, pattern.total - 1, pattern.total);
    const size_t writes_before_last_byte = recorder_.writes().size();
    Feed(pattern.total - 1, 1, pattern.total);

    EXPECT_EQ(recorder_.writes(), pattern.writes);
    EXPECT_EQ(writes_before_last_byte, pattern.writes.size() - 1);
    EXPECT_EQ(recorder_.contents(), Expected(pattern.total));
}

INSTANTIATE_TEST_SUITE_P(Totals, ByteSinkBlockTest,
                         ::testing::Values(BlockPattern{1, {1}}, BlockPattern{16384, {16384}},
                                           BlockPattern{16385, {16384, 1}},
                                           BlockPattern{32768, {16384, 16384}},
                                           BlockPattern{32769, {16384, 16384, 1}}));

TEST_F(ByteSinkTest, BytesBeyondTheTotalNeverReachTheFile) {
    // A last match of 10 bytes in a member of 3: the tail must not start a new load.
    Feed(0, 10, 3);
    EXPECT_EQ(recorder_.writes(), (std::vector<size_t>{3}));
    EXPECT_EQ(recorder_.contents(), Expected(3));

    // The same at the end of a member bigger than one block.
    WritePtr(nullptr, 0, 0);
    RecordingFile second;
    destination_ = second.Open();
    ASSERT_NE(destination_, nullptr);
    Feed(0, 16384 + 5 + 29, 16384 + 5);
    EXPECT_EQ(second.writes(), (std::vector<size_t>{16384, 5}));
    EXPECT_EQ(second.contents(), Expected(16384 + 5));
}

TEST_F(ByteSinkTest, StopBeforeTheTotalLeavesOnlyWholeBlocks) {
    Feed(0, 40000, 50000);
    EXPECT_EQ(recorder_.writes(), (std::vector<size_t>{16384, 16384}));
    EXPECT_EQ(recorder_.contents(), Expected(32768));
}

TEST_F(ByteSinkTest, ResetAfterAPartialMemberLeavesNoTrace) {
    Feed(0, 20000, 50000); // one block written, 3616 bytes held

    WritePtr(nullptr, 0, 0);
    RecordingFile next;
    destination_ = next.Open();
    ASSERT_NE(destination_, nullptr);
    // The next member's first write is sized from its own total and holds only its bytes.
    Feed(0, 100, 100);
    EXPECT_EQ(next.writes(), (std::vector<size_t>{100}));
    EXPECT_EQ(next.contents(), Expected(100));
}

// A full disk: the runtime's stream refuses the block, whether it is written through at
// once (a full block) or would sit in the stream's own buffer until the file is closed. The
// sink says so, and writes nothing more of the member, however many bytes still come.
TEST_F(ByteSinkTest, AShortWriteIsReportedAndNothingMoreIsWritten) {
    for (const uint32_t total : {16384u, 10u, 40000u}) {
        WritePtr(nullptr, 0, 0);
        EXPECT_FALSE(SinkWriteFailed());
        FILE* full = std::fopen("/dev/full", "wb");
        ASSERT_NE(full, nullptr);
        const uint32_t first_block = total < 16384 ? total : 16384;
        for (uint32_t i = 0; i < first_block; ++i)
            WritePtr(full, ByteAt(i), total);
        std::fclose(full);
        EXPECT_TRUE(SinkWriteFailed()) << "total " << total;
        // The rest of the member, to a file that would take it: none of it is written.
        Feed(first_block, total - first_block, total);
        EXPECT_TRUE(recorder_.writes().empty()) << "total " << total;
    }
    // The reset starts the next member afresh.
    WritePtr(nullptr, 0, 0);
    EXPECT_FALSE(SinkWriteFailed());
    Feed(0, 10, 10);
    EXPECT_EQ(recorder_.writes(), (std::vector<size_t>{10}));
}

} // namespace
