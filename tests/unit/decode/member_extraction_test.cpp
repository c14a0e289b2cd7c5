#include "decode/member_extraction.h"
#include "support/test_bytes.h"

#include "install/installer_state.h"
#include "support/file_api_test_hooks.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// What the poll saw: the destination's size at each call. It answers as the installer's
// poll does, from the abort flags.
std::string polled_destination;
std::vector<long> sizes_at_poll;
int stop_at_poll = 0; // 0: decide by the flags alone

bool InstallerPoll() {
    struct stat info {};
    sizes_at_poll.push_back(::stat(polled_destination.c_str(), &info) == 0 ? info.st_size : -1);
    if (stop_at_poll != 0 && static_cast<int>(sizes_at_poll.size()) == stop_at_poll) return true;
    return AbortRequested != 0 && ProtectedMember == 0;
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ExtractMemberTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmv-extract-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory_ = pattern;
        installer_ = directory_ / "installer.exe";
        destination_ = directory_ / "member.out";
        polled_destination = destination_.string();
        sizes_at_poll.clear();
        stop_at_poll = 0;
        AbortRequested = 0;
        ProtectedMember = 0;
        PlatSetModuleFileName(installer_.c_str());
    }

    void TearDown() override {
        if (package_ != kNoFile) PlatClose(package_);
        AbortRequested = 0;
        ProtectedMember = 0;
        stop_at_poll = 0;
        PlatSetModuleFileName("");
        fs::remove_all(directory_);
    }

    // Writes the installer file: 1000 bytes of stub, the member's data, 3000 bytes of what
    // follows it in the package; returns the entry and opens the run's handle on it.
    MemberEntry WriteInstaller(const std::vector<uint8_t>& data, uint32_t unpacked_size) {
        std::vector<uint8_t> file(1000 + data.size() + 3000, 0x77);
        std::fill_n(file.begin(), 1000, 0xEE);
        std::copy(data.begin(), data.end(), file.begin() + 1000);
        std::ofstream(installer_, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
        package_ = PlatOpenRead(installer_.c_str());
        EXPECT_NE(package_, kNoFile);
        MemberEntry entry{};
        entry.DataOffset = 1000;
        entry.StoredSize = static_cast<uint32_t>(data.size());
        entry.UnpackedSize = unpacked_size;
        return entry;
    }

    MemberEntry WriteCompressedMember(const std::vector<uint8_t>& contents) {
        return WriteInstaller(EncodeStream(contents, CompressionLevel::Fast),
                              static_cast<uint32_t>(contents.size()));
    }

    ExtractResult Extract(const MemberEntry& entry) {
        return ExtractMember(package_, copy_buffer_, entry, destination_.c_str(), InstallerPoll);
    }

    int32_t PackagePosition() { return PlatSeek(package_, 0, kFromCurrent); }

    fs::path directory_;
    fs::path installer_;
    fs::path destination_;
    FileHandle package_ = kNoFile;
    uint8_t copy_buffer_[kCopyBufferSize];
};

// --- stored members ---

TEST_F(ExtractMemberTest, StoredMemberIsCopiedInChunksWithoutTheBytesAfterIt) {
    const std::vector<uint8_t> member = RandomBytes(5000, 1);
    EXPECT_EQ(Extract(WriteInstaller(member, 0)), kMemberHandled);
    EXPECT_EQ(ReadFile(destination_), member);
    // Three reads of 2048; the first poll came after the first chunk had been written.
    EXPECT_EQ(PackagePosition(), 1000 + 3 * 2048);
    EXPECT_EQ(sizes_at_poll, (std::vector<long>{2048}));
}

TEST_F(ExtractMemberTest, StoredMemberOfWholeChunksReadsOnceMoreAndWritesNothingOfIt) {
    const std::vector<uint8_t> member = RandomBytes(4096, 2);
    Extract(WriteInstaller(member, 0));
    EXPECT_EQ(ReadFile(destination_), member);
    EXPECT_EQ(PackagePosition(), 1000 + 3 * 2048);
}

TEST_F(ExtractMemberTest, StoredMemberPollsAfterItsFirstChunkThenEvery102400Bytes) {
    const std::vector<uint8_t> member = RandomBytes(300000, 3);
    Extract(WriteInstaller(member, 0));
    EXPECT_EQ(ReadFile(destination_), member);
    EXPECT_EQ(sizes_at_poll, (std::vector<long>{2048, 51 * 2048, 101 * 2048}));
}

TEST_F(ExtractMemberTest, StoredMemberAbortKeepsTheFirstChunkUnlessProtected) {
    const std::vector<uint8_t> member = RandomBytes(10000, 4);
    const MemberEntry entry = WriteInstaller(member, 0);
    AbortRequested = 1;
    Extract(entry);
    EXPECT_EQ(ReadFile(destination_), std::vector<uint8_t>(member.begin(), member.begin() + 2048));

    ProtectedMember = 1;
    Extract(entry);
    EXPECT_EQ(ReadFile(destination_), member);
}

TEST_F(ExtractMemberTest, StoredMemberAbortLaterKeepsWholeChunks) {
    const std::vector<uint8_t> member = RandomBytes(300000, 5);
    stop_at_poll = 2;
    Extract(WriteInstaller(member, 0));
    EXPECT_EQ(ReadFile(destination_),
              std::vector<uint8_t>(member.begin(), member.begin() + 51 * 2048));
}

TEST_F(ExtractMemberTest, StoredMemberBeyondTheEndOfTheFileEndsEarly) {
    MemberEntry entry = WriteInstaller(RandomBytes(1000, 6), 0);
    entry.StoredSize = 100000;
    EXPECT_EQ(Extract(entry), kMemberCutShort);
    const std::vector<uint8_t> copied = ReadFile(destination_);
    EXPECT_EQ(copied.size(), 1000u + 3000u); // the member, then what the file still held
}

TEST_F(ExtractMemberTest, StoredMemberAtAnUnreachableOffsetCopiesNothing) {
    MemberEntry entry = WriteInstaller(RandomBytes(5000, 7), 0);
    // Past 2^31 the seek cannot reach; the handle, standing elsewhere, must not be read.
    entry.DataOffset = 0x80000010u;
    PlatSeek(package_, 500, kFromStart);
    EXPECT_EQ(Extract(entry), kMemberCutShort);
    EXPECT_TRUE(fs::exists(destination_));
    EXPECT_EQ(fs::file_size(destination_), 0u);
}

TEST_F(ExtractMemberTest, StoredMemberFailedReadEndsTheCopy) {
    const MemberEntry entry = WriteInstaller(RandomBytes(5000, 8), 0);
    PlatClose(package_);
    // A handle on a directory seeks but cannot read.
    package_ = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_NE(package_, kNoFile);
    MemberEntry at_start = entry;
    at_start.DataOffset = 0;
    EXPECT_EQ(Extract(at_start), kMemberCutShort);
    EXPECT_EQ(fs::file_size(destination_), 0u);
}

TEST_F(ExtractMemberTest, StoredMemberWithoutADestinationStillReadsAndPolls) {
    const MemberEntry entry = WriteInstaller(RandomBytes(300000, 9), 0);
    destination_ = directory_ / "missing" / "member.out";
    EXPECT_EQ(Extract(entry), kMemberHandled);
    EXPECT_FALSE(fs::exists(destination_));
    EXPECT_EQ(sizes_at_poll.size(), 3u);
}

// --- compressed members ---

// A full disk on either path: the member is reported as not written, never a cut-short file
// that passes as installed, and the copy or the decoder stops instead of running through the
// member. /dev/full takes no byte.
TEST_F(ExtractMemberTest, FailedWriteOnEitherPathIsReportedAndStopsTheMember) {
    const std::vector<uint8_t> member = RandomBytes(300000, 12);
    const MemberEntry stored = WriteInstaller(member, 0);
    destination_ = "/dev/full";
    EXPECT_EQ(Extract(stored), kMemberNotWritten);
    // The copy stopped at its first chunk: no poll, no further read.
    EXPECT_EQ(PackagePosition(), 1000 + 2048);
    EXPECT_TRUE(sizes_at_poll.empty());
    PlatClose(package_);

    const MemberEntry compressed = WriteCompressedMember(member);
    EXPECT_EQ(Extract(compressed), kMemberNotWritten);
    // The decoder stopped at its first poll after the failed block (the first, right after the
    // first symbol, came before it), not at the end of the 300000 bytes.
    EXPECT_EQ(sizes_at_poll.size(), 1u);

    // The next member is written as any other.
    destination_ = directory_ / "member.out";
    EXPECT_EQ(Extract(compressed), kMemberHandled);
    EXPECT_EQ(ReadFile(destination_), member);
}

TEST_F(ExtractMemberTest, CompressedMemberIsRestored) {
    std::vector<uint8_t> member = RandomBytes(20000, 10);
    member.insert(member.end(), 30000, 'z');
    EXPECT_EQ(Extract(WriteCompressedMember(member)), kMemberHandled);
    EXPECT_EQ(ReadFile(destination_), member);
    EXPECT_EQ(sizes_at_poll, (std::vector<long>{0}));
}

TEST_F(ExtractMemberTest, CompressedMemberAbortedAtOnceIsEmptyUnlessProtected) {
    const std::vector<uint8_t> member = RandomBytes(50000, 11);
    const MemberEntry entry = WriteCompressedMember(member);
    AbortRequested = 1;
    Extract(entry);
    EXPECT_TRUE(fs::exists(destination_));
    EXPECT_EQ(fs::file_size(destination_), 0u);

    ProtectedMember = 1;
    Extract(entry);
    EXPECT_EQ(ReadFile(destination_), member);
}

TEST_F(ExtractMemberTest, CompressedMemberAbortedLaterKeepsWholeBlocks) {
    const std::vector<uint8_t> member = RandomBytes(300000, 12);
    stop_at_poll = 2; // just past 102400 bytes
    Extract(WriteCompressedMember(member));
    EXPECT_EQ(ReadFile(destination_),
              std::vector<uint8_t>(member.begin(), member.begin() + 6 * 16384));
}

TEST_F(ExtractMemberTest, CompressedMemberWithoutTheModuleNameCreatesNothing) {
    const MemberEntry entry = WriteCompressedMember(RandomBytes(100, 13));
    PlatSetModuleFileName("");
    EXPECT_EQ(Extract(entry), kNoOwnFile);
    EXPECT_FALSE(fs::exists(destination_));
}

TEST_F(ExtractMemberTest, CompressedMemberWithoutItsInstallerFileCreatesNothing) {
    const MemberEntry entry = WriteCompressedMember(RandomBytes(100, 14));
    const std::string missing = (directory_ / "gone.exe").string();
    PlatSetModuleFileName(missing.c_str());
    EXPECT_EQ(Extract(entry), kNoOwnFile);
    EXPECT_FALSE(fs::exists(destination_));
}

TEST_F(ExtractMemberTest, CompressedMemberWithoutADestinationIsSkipped) {
    const MemberEntry entry = WriteCompressedMember(RandomBytes(100, 15));
    destination_ = directory_ / "missing" / "member.out";
    EXPECT_EQ(Extract(entry), kMemberHandled);
    EXPECT_FALSE(fs::exists(destination_));
}

TEST_F(ExtractMemberTest, CompressedMemberCutShortOrUnreachableDecodesOnZerosAndSaysSo) {
    const std::vector<uint8_t> member = RandomBytes(5000, 16);
    MemberEntry entry = WriteCompressedMember(member);
    const std::vector<uint8_t> stream = EncodeStream(member, CompressionLevel::Fast);

    // The package ends 3000 bytes after the stream: claim more than that.
    entry.StoredSize += 10000;
    EXPECT_EQ(Extract(entry), kMemberCutShort);
    std::vector<uint8_t> padded = stream;
    padded.insert(padded.end(), 3000, 0x77);
    EXPECT_EQ(ReadFile(destination_), DecodeStream(padded, 5000));

    // An offset the seek cannot reach reads nothing at all.
    entry.DataOffset = 0xF0000000u;
    EXPECT_EQ(Extract(entry), kMemberCutShort);
    EXPECT_EQ(ReadFile(destination_), DecodeStream({}, 5000));
}

} // namespace
