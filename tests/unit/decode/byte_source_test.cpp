#include "decode/byte_source.h"

#include "tests/unit/decode/recording_file.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

class ByteSourceTest : public ::testing::Test {
  protected:
    void SetUp() override { ByteSource(nullptr, 0); }
    void TearDown() override {
        if (file_ != nullptr) std::fclose(file_);
    }
    FILE* file_ = nullptr;
};

TEST_F(ByteSourceTest, ReadsFullBlocksThenOneShorterBlock) {
    // The member is followed by more package data, which must never be read.
    const std::vector<uint8_t> package = Pattern(40000 + 5000);
    file_ = TemporaryFileWith(package);
    ASSERT_NE(file_, nullptr);
    std::vector<long> position_after_block_start;
    for (uint32_t remaining = 40000; remaining > 0; --remaining) {
        const uint32_t index = 40000 - remaining;
        ASSERT_EQ(ByteSource(file_, remaining), package[index]) << "byte " << index;
        if (index % kSourceBlockSize == 0) position_after_block_start.push_back(std::ftell(file_));
    }
    EXPECT_EQ(position_after_block_start, (std::vector<long>{16384, 32768, 40000}));
    EXPECT_EQ(std::ftell(file_), 40000);
}

TEST_F(ByteSourceTest, MultipleOfTheBlockSizeNeedsNoFurtherRead) {
    const std::vector<uint8_t> package = Pattern(32768 + 100);
    file_ = TemporaryFileWith(package);
    ASSERT_NE(file_, nullptr);
    for (uint32_t remaining = 32768; remaining > 0; --remaining)
        ByteSource(file_, remaining);
    EXPECT_EQ(std::ftell(file_), 32768);
    EXPECT_FALSE(std::feof(file_));
}

TEST_F(ByteSourceTest, ResetForgetsAPartlyReadBlock) {
    const std::vector<uint8_t> package = Pattern(20000);
    file_ = TemporaryFileWith(package);
    ASSERT_NE(file_, nullptr);
    for (uint32_t remaining = 10000; remaining > 9000; --remaining)
        ByteSource(file_, remaining);
    ASSERT_EQ(std::ftell(file_), 10000);

    // The next member starts elsewhere: its first request reads a block of its own.
    EXPECT_EQ(ByteSource(nullptr, 0), 0);
    std::fseek(file_, 15000, SEEK_SET);
    EXPECT_EQ(ByteSource(file_, 5000), package[15000]);
    EXPECT_EQ(std::ftell(file_), 20000);
    EXPECT_EQ(ByteSource(file_, 4999), package[15001]);
}

TEST_F(ByteSourceTest, TruncatedPackageDeliversZerosNotStaleBytes) {
    // A first member fills the buffer with non-zero bytes.
    std::vector<uint8_t> package(100, 0xAB);
    file_ = TemporaryFileWith(package);
    ASSERT_NE(file_, nullptr);
    for (uint32_t remaining = 100; remaining > 0; --remaining)
        ASSERT_EQ(ByteSource(file_, remaining), 0xAB);

    // The next member claims 50 bytes where the file has only 3 left.
    ByteSource(nullptr, 0);
    std::fseek(file_, 97, SEEK_SET);
    std::vector<int> delivered;
    for (uint32_t remaining = 50; remaining > 0; --remaining)
        delivered.push_back(ByteSource(file_, remaining));
    std::vector<int> expected(50, 0);
    expected[0] = expected[1] = expected[2] = 0xAB;
    EXPECT_EQ(delivered, expected);
}

TEST_F(ByteSourceTest, EmptyFileDeliversZeros) {
    file_ = TemporaryFileWith({});
    ASSERT_NE(file_, nullptr);
    for (uint32_t remaining = 3; remaining > 0; --remaining)
        EXPECT_EQ(ByteSource(file_, remaining), 0);
}

} // namespace
