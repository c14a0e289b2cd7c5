#include "decode/lzh_decoder.h"
#include "support/test_bytes.h"

#include "decode/adaptive_model.h"
#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "tests/unit/decode/recording_file.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>

namespace {

int polls = 0;
int stop_at_poll = 0; // 0: never stop
bool CountingPoll() {
    ++polls;
    return polls == stop_at_poll;
}

struct Restored {
    int32_t result = 0;
    std::vector<uint8_t> bytes;
    std::vector<size_t> writes;
    long bytes_read = 0; // how far the package file was read
};

// Runs the decoder as extraction does: source and sink reset, package at the member.
// `package` may hold more (or fewer) bytes than `stored_size` claims.
Restored Decode(const std::vector<uint8_t>& package, uint32_t unpacked_size, uint32_t stored_size) {
    Restored restored;
    FILE* source = TemporaryFileWith(package);
    RecordingFile recorder;
    FILE* destination = recorder.Open();
    if (source == nullptr || destination == nullptr) {
        ADD_FAILURE() << "cannot open the test files";
        return restored;
    }
    polls = 0;
    ByteSource(nullptr, 0);
    WritePtr(nullptr, 0, 0);
    restored.result = LzhDecoder(source, destination, unpacked_size, stored_size, CountingPoll);
    restored.bytes_read = std::ftell(source);
    std::fclose(source);
    restored.bytes = recorder.contents();
    restored.writes = recorder.writes();
    return restored;
}

Restored Decode(const std::vector<uint8_t>& stream, uint32_t unpacked_size) {
    return Decode(stream, unpacked_size, static_cast<uint32_t>(stream.size()));
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

class LzhDecoderTest : public ::testing::Test {
  protected:
    void TearDown() override { stop_at_poll = 0; }
};

TEST_F(LzhDecoderTest, ThreeLiteralsOfTheFreshTree) {
    const Restored restored = Decode({0x29, 0x2A, 0x2B}, 3);
    EXPECT_EQ(restored.bytes, Bytes("abc"));
    EXPECT_EQ(restored.result, 3);
}

TEST_F(LzhDecoderTest, MatchOverlappingItsOwnOutput) {
    const Restored restored = Decode({0x29, 0x2A, 0x2B, 0xCB, 0x01, 0x00}, 9);
    EXPECT_EQ(restored.bytes, Bytes("abcabcabc"));
    EXPECT_EQ(restored.result, 9);
}

TEST_F(LzhDecoderTest, MatchFromTheInitialSpacesIntoItsOwnOutput) {
    const Restored restored = Decode({0xCF, 0x00, 0x00}, 10);
    EXPECT_EQ(restored.bytes, Bytes(std::string(10, ' ')));
}

TEST_F(LzhDecoderTest, MissingBitsReadAsZeros) {
    // Only the first byte of the ten-spaces stream is stored: the rest comes from zero bits,
    // and the file is not read beyond the one stored byte.
    const Restored short_stream = Decode({0xCF, 0x77, 0x77}, 10, 1);
    EXPECT_EQ(short_stream.bytes, Bytes(std::string(10, ' ')));
    EXPECT_EQ(short_stream.bytes_read, 1);

    // A package that ends before the member: the missing bytes are zeros as well.
    const Restored truncated = Decode({0xCF}, 10, 3);
    EXPECT_EQ(truncated.bytes, Bytes(std::string(10, ' ')));
}

TEST_F(LzhDecoderTest, LastMatchPastTheSizeReachesTheSinkButNotTheFile) {
    const Restored restored = Decode({0xCF, 0x00, 0x00}, 4);
    EXPECT_EQ(restored.result, 10);
    EXPECT_EQ(restored.bytes, Bytes("    "));
    EXPECT_EQ(restored.writes, (std::vector<size_t>{4}));
}

TEST_F(LzhDecoderTest, SizeZeroOrNegativeRestoresAndReadsNothing) {
    for (const uint32_t size : {0u, 0x80000000u, 0xFFFFFFFFu}) {
        const Restored restored = Decode({0x29, 0x2A, 0x2B}, size);
        EXPECT_EQ(restored.result, 0) << size;
        EXPECT_TRUE(restored.bytes.empty()) << size;
        EXPECT_EQ(restored.bytes_read, 0) << size;
        EXPECT_EQ(polls, 0) << size;
    }
    EXPECT_EQ(LzhDecoder(nullptr, nullptr, 0, 0, nullptr), 0);
}

TEST_F(LzhDecoderTest, CrossesTheFirstAndLaterRebuilds) {
    // One literal per byte, so the n-th byte is the n-th symbol: 150000 symbols pass the
    // first rebuild (counted with the 32485th symbol) and four more after it.
    const std::vector<uint8_t> input = RandomBytes(150000, 3);
    EXPECT_EQ(Decode(LiteralStream(input), 150000).bytes, input);

    // Ending on the symbol before the first rebuild, on the one that triggers it, and after.
    for (const size_t size : {32484u, 32485u, 32486u}) {
        const std::vector<uint8_t> part(input.begin(), input.begin() + static_cast<long>(size));
        EXPECT_EQ(Decode(LiteralStream(part), static_cast<uint32_t>(size)).bytes, part) << size;
    }
}

TEST_F(LzhDecoderTest, ReadsTheStreamInBlocksAndNeverPastIt) {
    const std::vector<uint8_t> input = RandomBytes(60000, 5);
    std::vector<uint8_t> package = EncodeStream(input, CompressionLevel::Fast);
    const uint32_t stored_size = static_cast<uint32_t>(package.size());
    ASSERT_GT(stored_size, 3u * 16384);
    package.resize(package.size() + 1000, 0x5A); // the next member
    const Restored restored = Decode(package, 60000, stored_size);
    EXPECT_EQ(restored.bytes, input);
    EXPECT_EQ(restored.bytes_read, static_cast<long>(stored_size));
    EXPECT_EQ(restored.writes, (std::vector<size_t>{16384, 16384, 16384, 60000 - 3 * 16384}));
}

TEST_F(LzhDecoderTest, PollsAfterTheFirstSymbolThenEvery102400Bytes) {
    const std::vector<uint8_t> input = RandomBytes(102400 * 2 + 1, 9);
    const std::vector<uint8_t> stream = LiteralStream(input);
    EXPECT_EQ(Decode(stream, 1).result, 1);
    EXPECT_EQ(polls, 1);
    EXPECT_EQ(Decode(stream, 102400).result, 102400);
    EXPECT_EQ(polls, 1);
    Decode(stream, 102401);
    EXPECT_EQ(polls, 2);
    Decode(stream, 102400 * 2 + 1);
    EXPECT_EQ(polls, 3);
}

TEST_F(LzhDecoderTest, StopLeavesOnlyTheBlocksWrittenBeforeIt) {
    const std::vector<uint8_t> input = RandomBytes(300000, 13);
    const std::vector<uint8_t> stream = LiteralStream(input);

    stop_at_poll = 1; // stop after the first symbol
    Restored restored = Decode(stream, 300000);
    EXPECT_EQ(restored.result, 1);
    EXPECT_TRUE(restored.bytes.empty());

    stop_at_poll = 2; // stop on the byte that passes 102400
    restored = Decode(stream, 300000);
    EXPECT_EQ(restored.result, 102401);
    EXPECT_EQ(restored.bytes, std::vector<uint8_t>(input.begin(), input.begin() + 6 * 16384));
}

TEST_F(LzhDecoderTest, OutputDoesNotDependOnThePreviousMember) {
    // A first symbol that copies 30 bytes from 4096 back reads the 30 ring positions after
    // the initial spaces, which no stream has written yet: they read as zeros every time,
    // whatever the member before left there.
    AdaptiveModel model;
    ResetModel(model);
    int length = 0;
    const uint32_t match_30 = SymbolCode(model, 253 + 30, &length);
    ASSERT_EQ(length, 8);
    // The length code, then offset 4095: prefix 11111111 and the low six bits 111111.
    const uint32_t bits = (match_30 << 14) | 0x3FFF; // 22 bits
    const std::vector<uint8_t> reach_back = {static_cast<uint8_t>(bits >> 14),
                                             static_cast<uint8_t>(bits >> 6),
                                             static_cast<uint8_t>(bits << 2)};
    EXPECT_EQ(Decode(reach_back, 30).bytes, std::vector<uint8_t>(30, 0));
    ASSERT_EQ(Decode(EncodeStream(RandomBytes(5000, 1), CompressionLevel::Fast), 5000).bytes.size(),
              5000u);
    EXPECT_EQ(Decode(reach_back, 30).bytes, std::vector<uint8_t>(30, 0));
}

// --- a decoder whose state its caller owns ---

// Plain reads from memory and writes to memory, recording the size of each call, with a poll
// that a test can give work to do in the middle of the member.
struct MemoryEnds {
    std::vector<uint8_t> input;
    size_t read_at = 0;
    std::vector<size_t> reads;
    std::vector<uint8_t> output;
    std::vector<size_t> writes;
    size_t refuse_writes_from = SIZE_MAX; // bytes of output the destination takes at most
    int polls = 0;
    std::function<bool()> on_poll;

    static size_t Read(void* context, uint8_t* into, size_t size) {
        auto& ends = *static_cast<MemoryEnds*>(context);
        ends.reads.push_back(size);
        const size_t count = std::min(size, ends.input.size() - ends.read_at);
        std::copy_n(ends.input.begin() + static_cast<long>(ends.read_at), count, into);
        ends.read_at += count;
        return count;
    }
    static size_t Write(void* context, const uint8_t* bytes, size_t size) {
        auto& ends = *static_cast<MemoryEnds*>(context);
        ends.writes.push_back(size);
        if (ends.output.size() + size > ends.refuse_writes_from) return 0;
        ends.output.insert(ends.output.end(), bytes, bytes + size);
        return size;
    }
    static bool Poll(void* context) {
        auto& ends = *static_cast<MemoryEnds*>(context);
        ++ends.polls;
        return ends.on_poll ? ends.on_poll() : false;
    }
    DecoderEnds Ends() { return {Read, Write, Poll, this}; }
};

// Decodes on a fresh state of its own, as the authoring tool does.
int32_t DecodeOwn(MemoryEnds& ends, uint32_t unpacked_size, uint32_t stored_size) {
    const auto state = std::make_unique<DecoderState>();
    return LzhDecoder(*state, ends.Ends(), unpacked_size, stored_size);
}

TEST_F(LzhDecoderTest, PlainEndsGetTheBlocksTheStreamsGet) {
    const std::vector<uint8_t> input = RandomBytes(60000, 5);
    MemoryEnds ends;
    ends.input = EncodeStream(input, CompressionLevel::Fast);
    const uint32_t stored_size = static_cast<uint32_t>(ends.input.size());
    ASSERT_GT(stored_size, 3u * 16384);
    ends.input.resize(ends.input.size() + 1000, 0x5A); // the next member, never read
    EXPECT_GE(DecodeOwn(ends, 60000, stored_size), 60000);
    EXPECT_EQ(ends.output, input);
    EXPECT_EQ(ends.read_at, stored_size);
    EXPECT_EQ(ends.reads,
              (std::vector<size_t>{16384, 16384, 16384, stored_size - size_t{3} * 16384}));
    EXPECT_EQ(ends.writes, (std::vector<size_t>{16384, 16384, 16384, 60000 - 3 * 16384}));
    EXPECT_EQ(ends.polls, 1);
}

TEST_F(LzhDecoderTest, PlainEndsThatEndEarlyOrRefuseBytes) {
    // An input that ends after one byte of the ten-spaces stream: zeros complete it.
    MemoryEnds short_input;
    short_input.input = {0xCF};
    EXPECT_EQ(DecodeOwn(short_input, 10, 3), 10);
    EXPECT_EQ(short_input.output, Bytes(std::string(10, ' ')));

    // A destination that refuses the second block: nothing more is offered to it, and the
    // sink says so, which is what a poll can stop on (at the second poll, past 102400 bytes).
    const std::vector<uint8_t> input = RandomBytes(250000, 6);
    MemoryEnds full;
    full.input = LiteralStream(input);
    full.refuse_writes_from = 20000;
    const auto state = std::make_unique<DecoderState>();
    full.on_poll = [&] { return SinkWriteFailed(state->sink); };
    EXPECT_EQ(LzhDecoder(*state, full.Ends(), 250000, static_cast<uint32_t>(full.input.size())),
              102401);
    EXPECT_TRUE(SinkWriteFailed(state->sink));
    EXPECT_EQ(full.writes, (std::vector<size_t>{16384, 16384}));
    EXPECT_EQ(full.output, std::vector<uint8_t>(input.begin(), input.begin() + 16384));
}

// Members restored at once, each on its own state, and the installer's own instance in the
// middle of its member all the while: none may see another's model, window, bits or blocks.
// The inner decodings run from the outer one's poll, right after its first symbol.
TEST_F(LzhDecoderTest, StatesOfTheirOwnDoNotDisturbEachOther) {
    const std::vector<uint8_t> outer_input = RandomBytes(40000, 21);
    const std::vector<uint8_t> inner_input = RandomBytes(30000, 22);
    MemoryEnds inner;
    inner.input = EncodeStream(inner_input, CompressionLevel::Default);
    MemoryEnds outer;
    outer.input = EncodeStream(outer_input, CompressionLevel::Default);
    outer.on_poll = [&] {
        if (outer.polls == 1) {
            DecodeOwn(inner, 30000, static_cast<uint32_t>(inner.input.size()));
            // The installer's instance too, on a third member.
            EXPECT_EQ(Decode({0x29, 0x2A, 0x2B, 0xCB, 0x01, 0x00}, 9).bytes, Bytes("abcabcabc"));
        }
        return false;
    };
    EXPECT_EQ(DecodeOwn(outer, 40000, static_cast<uint32_t>(outer.input.size())), 40000);
    EXPECT_EQ(inner.output, inner_input);
    EXPECT_EQ(outer.output, outer_input);

    // And the other way round: a caller-owned decoding amid the installer's.
    const std::vector<uint8_t> installer_input = RandomBytes(50000, 23);
    std::vector<uint8_t> installer_stream = EncodeStream(installer_input, CompressionLevel::Fast);
    MemoryEnds amid;
    amid.input = EncodeStream(inner_input, CompressionLevel::Fast);
    stop_at_poll = 0;
    Restored restored;
    {
        FILE* source = TemporaryFileWith(installer_stream);
        RecordingFile recorder;
        FILE* destination = recorder.Open();
        ASSERT_NE(source, nullptr);
        ASSERT_NE(destination, nullptr);
        ByteSource(nullptr, 0);
        WritePtr(nullptr, 0, 0);
        static MemoryEnds* amid_ends = nullptr;
        amid_ends = &amid;
        restored.result = LzhDecoder(
            source, destination, 50000, static_cast<uint32_t>(installer_stream.size()), [] {
                if (amid_ends->output.empty())
                    DecodeOwn(*amid_ends, 30000, static_cast<uint32_t>(amid_ends->input.size()));
                return false;
            });
        std::fclose(source);
        restored.bytes = recorder.contents();
    }
    EXPECT_EQ(restored.bytes, installer_input);
    EXPECT_EQ(amid.output, inner_input);
}

} // namespace
