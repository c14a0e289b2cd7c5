// The bounds the fuzz targets put on an input's claims (tests/fuzz/input_bounds.h). A bound
// that let a claim through would bring back runs of seconds; one that changed a claim within
// bounds would change what the seeds mean; one that wrote the wrong bytes would fuzz some
// other table than the installer reads.
#include "package/package_reading.h"
#include "robustness/damaged_installers.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using fuzz::BoundUnpackedSize;
using fuzz::kMaxUnpacked;
using fuzz::kUnpackedPastStream;
using fuzz::kUnpackedPerStoredByte;

TEST(FuzzInputBoundsTest, AClaimIsKeptWithinItsCapAndFoldedIntoItAbove) {
    const uint32_t cap = 100 * kUnpackedPerStoredByte + kUnpackedPastStream;
    for (const uint32_t kept : {0u, 1u, cap - 1, cap, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(BoundUnpackedSize(kept, 100), kept) << kept;
    EXPECT_EQ(BoundUnpackedSize(cap + 1, 100), 1u);
    EXPECT_EQ(BoundUnpackedSize(2 * cap, 100), cap);
    EXPECT_EQ(BoundUnpackedSize(0x7FFFFFFFu, 100), 1 + (0x7FFFFFFFu - 1) % cap);

    // A stream pays for 8 bytes a byte past 1 KiB, up to the cap of the target; a cap of 0
    // (a used-up budget) still leaves a compressed member compressed.
    EXPECT_LE(BoundUnpackedSize(0x10000000u, 0), kUnpackedPastStream);
    EXPECT_EQ(BoundUnpackedSize(kMaxUnpacked, 1u << 20), kMaxUnpacked);
    EXPECT_EQ(BoundUnpackedSize(kMaxUnpacked + 1, 1u << 20), 1u);
    EXPECT_EQ(BoundUnpackedSize(5000, 1u << 20, 0), 1u);

    std::mt19937 random(11);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t claim = static_cast<uint32_t>(random()) >> (random() % 32);
        const uint32_t stored = static_cast<uint32_t>(random()) >> (random() % 32);
        const uint64_t affordable = uint64_t{stored} * kUnpackedPerStoredByte + kUnpackedPastStream;
        const uint64_t limit = std::min<uint64_t>(kMaxUnpacked, affordable);
        const uint32_t bounded = BoundUnpackedSize(claim, stored);
        if (claim == 0 || claim >= 0x80000000u || claim <= limit)
            ASSERT_EQ(bounded, claim) << claim << " " << stored;
        else
            ASSERT_TRUE(bounded >= 1 && bounded <= limit) << claim << " " << stored;
    }
}

class FuzzInstallerBoundsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        good_ = BuildGoodInstaller();
        // A folder per test and process: ctest runs them side by side, and a folder that
        // another user's run left behind must not stand in the way.
        folder_ = std::filesystem::temp_directory_path() /
                  (std::string("lmv-unit-fuzz-input-bounds-") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                   std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    MemberEntry EntryIn(const std::vector<uint8_t>& bytes, size_t index) const {
        MemberEntry entry;
        std::memcpy(&entry, bytes.data() + good_.members[index].entry_offset, sizeof entry);
        return entry;
    }
    void Set(size_t index, size_t field, uint32_t value) {
        std::memcpy(good_.bytes.data() + good_.members[index].entry_offset + field, &value,
                    sizeof value);
    }
    void SetUnpackedSize(size_t index, uint32_t size) {
        Set(index, offsetof(MemberEntry, UnpackedSize), size);
    }

    // Writes the installer through the targets' own helper and reads its table back the way
    // the installer does: the entries before the terminating one, and whether it came.
    std::vector<MemberEntry> BoundAndRead(std::vector<uint8_t>& bytes, bool* terminated) {
        EXPECT_TRUE(fuzz::WriteBoundedInstaller((folder_ / "installer.exe").string(), bytes));
        std::vector<MemberEntry> entries;
        *terminated = false;
        uint16_t first_media_number = 0;
        const FileHandle table = OpenMemberTable(&first_media_number);
        EXPECT_NE(table, kNoFile);
        MemberEntry entry;
        while (table != kNoFile && ReadMemberEntry(table, &entry)) {
            if (entry.StoredSize == 0) {
                *terminated = true;
                break;
            }
            entries.push_back(entry);
        }
        if (table != kNoFile) PlatClose(table);
        return entries;
    }

    GoodInstaller good_;
    std::filesystem::path folder_;
};

TEST_F(FuzzInstallerBoundsTest, AnInstallerWithinBoundsIsLeftByteForByte) {
    std::vector<uint8_t> bytes = good_.bytes;
    bool terminated = false;
    EXPECT_EQ(BoundAndRead(bytes, &terminated).size(), good_.members.size());
    EXPECT_TRUE(terminated);
    EXPECT_EQ(bytes, good_.bytes);
    EXPECT_FALSE(fuzz::BoundMemberTable(bytes, good_.layout.table));
}

TEST_F(FuzzInstallerBoundsTest, LargeClaimsAreBoundWhereTheInstallerReadsThem) {
    SetUnpackedSize(1, 1u << 30);
    SetUnpackedSize(3, 0xFFFFFFFFu);
    // A stream said to run far past the end of the file pays only for the 100 bytes it has
    // there: one byte more than those pay for is folded round to 1.
    const uint32_t size = static_cast<uint32_t>(good_.bytes.size());
    Set(4, offsetof(MemberEntry, DataOffset), size - 100);
    Set(4, offsetof(MemberEntry, StoredSize), 1u << 30);
    SetUnpackedSize(4, 100 * kUnpackedPerStoredByte + kUnpackedPastStream + 1);
    std::vector<uint8_t> bytes = good_.bytes;
    bool terminated = false;
    const std::vector<MemberEntry> read = BoundAndRead(bytes, &terminated);
    ASSERT_EQ(read.size(), good_.members.size());
    EXPECT_TRUE(terminated);

    const uint32_t stored = good_.members[1].stored_size;
    EXPECT_GE(read[1].UnpackedSize, 1u);
    EXPECT_LE(read[1].UnpackedSize, stored * kUnpackedPerStoredByte + kUnpackedPastStream);
    EXPECT_EQ(read[3].UnpackedSize, 0xFFFFFFFFu); // restores nothing: nothing to bound
    EXPECT_EQ(read[4].UnpackedSize, 1u);
    // Only those fields changed: the other members, the header and the data are the same.
    SetUnpackedSize(1, read[1].UnpackedSize);
    SetUnpackedSize(4, read[4].UnpackedSize);
    EXPECT_EQ(bytes, good_.bytes);
}

TEST_F(FuzzInstallerBoundsTest, TheTableTogetherStaysWithinItsBudget) {
    // Both compressed members claim what their streams pay for; together that is more than
    // a budget of half the first one's claim.
    const uint32_t first = good_.members[1].stored_size * kUnpackedPerStoredByte;
    const uint32_t second = good_.members[3].stored_size * kUnpackedPerStoredByte;
    SetUnpackedSize(1, first);
    SetUnpackedSize(3, second);
    std::vector<uint8_t> bytes = good_.bytes;
    const uint32_t budget = first / 2;
    EXPECT_TRUE(fuzz::BoundMemberTable(bytes, good_.layout.table, fuzz::kMaxMembers, budget));
    const uint32_t restored = EntryIn(bytes, 1).UnpackedSize + EntryIn(bytes, 3).UnpackedSize;
    EXPECT_LE(restored, budget + 1); // a used-up budget leaves 1 byte a member
    EXPECT_GE(EntryIn(bytes, 3).UnpackedSize, 1u);
}

TEST_F(FuzzInstallerBoundsTest, TheTableEndsAfterTheMostMembers) {
    std::vector<uint8_t> bytes = good_.bytes;
    EXPECT_TRUE(fuzz::BoundMemberTable(bytes, good_.layout.table, 3));
    EXPECT_EQ(EntryIn(bytes, 3).StoredSize, 0u);
    bool terminated = false;
    const std::vector<MemberEntry> read = BoundAndRead(bytes, &terminated);
    EXPECT_EQ(read.size(), 3u);
    EXPECT_TRUE(terminated);
    for (size_t i = 0; i < read.size(); ++i) {
        const MemberEntry original = EntryIn(good_.bytes, i);
        EXPECT_EQ(std::memcmp(&read[i], &original, sizeof original), 0) << i;
    }
}

TEST_F(FuzzInstallerBoundsTest, ATableCutShortIsBoundUpToItsLastWholeEntry) {
    SetUnpackedSize(1, 1u << 30);
    SetUnpackedSize(3, 1u << 30);
    // The file ends inside member 3's entry, before member 1's data: member 1 may restore only
    // zero bits; the cut entry is left to the installer.
    std::vector<uint8_t> bytes(good_.bytes.begin(),
                               good_.bytes.begin() + good_.members[3].entry_offset + 10);
    EXPECT_TRUE(fuzz::BoundMemberTable(bytes, good_.layout.table));
    EXPECT_GE(EntryIn(bytes, 1).UnpackedSize, 1u);
    EXPECT_LE(EntryIn(bytes, 1).UnpackedSize, kUnpackedPastStream);
    EXPECT_EQ(bytes.size(), good_.members[3].entry_offset + 10);
    EXPECT_TRUE(std::equal(bytes.begin() + good_.members[3].entry_offset, bytes.end(),
                           good_.bytes.begin() + good_.members[3].entry_offset));
}

} // namespace
