#include "support/test_bytes.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include "decode/adaptive_model.h"
#include "decode/lzh_decoder.h"
#include "frontend/title_gradient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace {

namespace fs = std::filesystem;

constexpr CompressionLevel kLevels[] = {CompressionLevel::Fast, CompressionLevel::Default,
                                        CompressionLevel::Best};

const char* LevelName(CompressionLevel level) {
    switch (level) {
    case CompressionLevel::Fast:
        return "fast";
    case CompressionLevel::Default:
        return "default";
    case CompressionLevel::Best:
        return "best";
    }
    return "?";
}

// Text of a licence's words: many short, near repeats.
std::vector<uint8_t> Text(size_t size, unsigned seed) {
    static const char* const kWords[] = {"the ",     "screen ", "saver ",  "license ", "program ",
                                         "software", " of ",    "and ",    "to ",      "\r\n",
                                         "free ",    "copy ",   "modify ", "you ",     "may "};
    return WordText(size, seed, kWords);
}

// Up to `limit` bytes of a file, from `offset` on; empty when it cannot be read.
std::vector<uint8_t> FileBytes(const fs::path& path, size_t offset, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    if (offset >= bytes.size()) return {};
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(offset));
    if (bytes.size() > limit) bytes.resize(limit);
    return bytes;
}

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Sound as a package carries it: 16-bit mono PCM at 22,050 Hz, tones that fade in and out.
std::vector<uint8_t> ToneWave(size_t samples) {
    std::vector<uint8_t> data;
    for (size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n) / 22050;
        const double note = 220.0 * (1 + static_cast<double>((n / 11025) % 5) / 4);
        const double envelope = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * t * 2);
        const double value = envelope * (0.6 * std::sin(2 * std::numbers::pi * note * t) +
                                         0.3 * std::sin(2 * std::numbers::pi * 3 * note * t));
        PutLittleEndian(data, static_cast<uint32_t>(static_cast<int32_t>(value * 20000)), 2);
    }
    std::vector<uint8_t> wave = {'R', 'I', 'F', 'F'};
    PutLittleEndian(wave, static_cast<uint32_t>(36 + data.size()), 4);
    for (const char c : std::string("WAVEfmt "))
        wave.push_back(static_cast<uint8_t>(c));
    for (const auto& [value, bytes] :
         {std::pair{16u, 4}, {1u, 2}, {1u, 2}, {22050u, 4}, {44100u, 4}, {2u, 2}, {16u, 2}})
        PutLittleEndian(wave, value, bytes);
    for (const char c : std::string("data"))
        wave.push_back(static_cast<uint8_t>(c));
    PutLittleEndian(wave, static_cast<uint32_t>(data.size()), 4);
    wave.insert(wave.end(), data.begin(), data.end());
    return wave;
}

// Artwork with flat areas: an uncompressed 24-bit bitmap of the title's gradient bands, its
// white frame and a few plain blocks.
std::vector<uint8_t> GradientBitmap(int width, int height) {
    std::vector<uint8_t> pixels;
    const float step = TitleBandStep(height);
    for (int y = height - 1; y >= 0; --y) { // bottom-up rows
        int band = 0;
        while (band + 1 < kTitleBandCount && TitleBandRows(band + 1, step).top <= y)
            ++band;
        const uint32_t colour = TitleBandColor(0x00FF4000, 0x00200010, band);
        for (int x = 0; x < width; ++x) {
            const bool frame = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
            const bool block = (x / 64 + y / 48) % 5 == 0 && x % 64 < 40;
            const uint32_t c = frame ? 0xFFFFFF : block ? 0x00A0C0E0 : colour;
            pixels.push_back(static_cast<uint8_t>(c >> 16)); // blue, green, red
            pixels.push_back(static_cast<uint8_t>(c >> 8));
            pixels.push_back(static_cast<uint8_t>(c));
        }
    }
    std::vector<uint8_t> bitmap = {'B', 'M'};
    PutLittleEndian(bitmap, static_cast<uint32_t>(54 + pixels.size()), 4);
    for (const auto& [value, bytes] : {std::pair{0u, 4},
                                       {54u, 4},
                                       {40u, 4},
                                       {static_cast<uint32_t>(width), 4},
                                       {static_cast<uint32_t>(height), 4},
                                       {1u, 2},
                                       {24u, 2},
                                       {0u, 4},
                                       {static_cast<uint32_t>(pixels.size()), 4},
                                       {2835u, 4},
                                       {2835u, 4},
                                       {0u, 4},
                                       {0u, 4}})
        PutLittleEndian(bitmap, value, bytes);
    bitmap.insert(bitmap.end(), pixels.begin(), pixels.end());
    return bitmap;
}

// Prose as an agreement holds it: the repository's own documents.
std::vector<uint8_t> DocumentText(size_t limit) {
    std::vector<uint8_t> text = FileBytes(fs::path(LMV_SOURCE_DIR) / "README.md", 0, limit);
    for (const auto& entry : fs::directory_iterator(fs::path(LMV_SOURCE_DIR) / "docs")) {
        if (text.size() >= limit) break;
        if (entry.path().extension() != ".md") continue;
        const std::vector<uint8_t> more = FileBytes(entry.path(), 0, limit - text.size());
        text.insert(text.end(), more.begin(), more.end());
    }
    return text;
}

// One coded element of a stream: a literal (length 1) or a match.
struct Token {
    int length;
    int distance; // 0 for a literal
};

// Reads the tokens of a stream that restores `size` bytes, using the model and offset tables
// the way the format defines them. Independent of the decoder's own loop, so the encoder's
// choices can be checked, not only the bytes they restore to.
std::vector<Token> Tokens(const std::vector<uint8_t>& stream, size_t size) {
    size_t bit_index = 0;
    auto bit = [&]() -> unsigned {
        const size_t byte = bit_index / 8;
        const unsigned value = byte < stream.size() ? (stream[byte] >> (7 - bit_index % 8)) & 1 : 0;
        ++bit_index;
        return value;
    };
    AdaptiveModel model;
    ResetModel(model);
    std::vector<Token> tokens;
    size_t produced = 0;
    while (produced < size) {
        unsigned node = model.Child[kRootNode];
        while (node < kLeafBase)
            node = model.Child[node + bit()];
        const int symbol = static_cast<int>(node - kLeafBase);
        UpdateModel(model, symbol);
        if (symbol < 256) {
            tokens.push_back({1, 0});
            ++produced;
            continue;
        }
        unsigned first = 0;
        for (int i = 0; i < 8; ++i)
            first = 2 * first + bit();
        const int prefix_length = OffsetCodeLength[first];
        unsigned low = first;
        for (int i = 0; i < prefix_length - 2; ++i)
            low = 2 * low + bit();
        const int offset = OffsetHigh[first] * 64 + static_cast<int>(low & 63);
        tokens.push_back({symbol - 253, offset + 1});
        produced += static_cast<size_t>(symbol - 253);
    }
    return tokens;
}

void ExpectRoundTrip(const std::vector<uint8_t>& input, const std::string& what) {
    for (const CompressionLevel level : kLevels) {
        const std::vector<uint8_t> stream = EncodeStream(input, level);
        const std::vector<uint8_t> restored =
            DecodeStream(stream, static_cast<uint32_t>(input.size()));
        ASSERT_EQ(restored.size(), input.size()) << what << " at " << LevelName(level);
        EXPECT_TRUE(restored == input) << what << " at " << LevelName(level);

        // No match reaches behind the initial spaces or runs past the end.
        size_t position = 0;
        for (const Token& token : Tokens(stream, input.size())) {
            ASSERT_LE(token.distance, static_cast<int>(position) + kInitialFill)
                << what << " at " << LevelName(level) << ", byte " << position;
            position += static_cast<size_t>(token.length);
        }
        EXPECT_EQ(position, input.size()) << what << " at " << LevelName(level);
    }
}

TEST(EncoderTest, ParsesTheLevelNames) {
    EXPECT_EQ(ParseCompressionLevel("fast"), CompressionLevel::Fast);
    EXPECT_EQ(ParseCompressionLevel("default"), CompressionLevel::Default);
    EXPECT_EQ(ParseCompressionLevel("best"), CompressionLevel::Best);
    EXPECT_EQ(ParseCompressionLevel("Best"), std::nullopt);
    EXPECT_EQ(ParseCompressionLevel(""), std::nullopt);
}

TEST(EncoderTest, EmptyInputGivesAnEmptyStream) {
    for (const CompressionLevel level : kLevels)
        EXPECT_TRUE(EncodeStream({}, level).empty());
}

TEST(EncoderTest, RoundTripsAroundTheMatchAndWindowLimits) {
    const std::vector<uint8_t> text = Text(8000, 1);
    const std::vector<uint8_t> random = RandomBytes(8000, 2);
    const std::vector<uint8_t> runs = [] {
        std::vector<uint8_t> bytes(8000);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i / 700);
        return bytes;
    }();
    for (const size_t size : {1u, 2u, 3u, 29u, 30u, 31u, 4095u, 4096u, 4097u}) {
        for (const auto* source : {&text, &random, &runs}) {
            const std::vector<uint8_t> input(source->begin(),
                                             source->begin() + static_cast<long>(size));
            ExpectRoundTrip(input, std::to_string(size) + " bytes");
        }
    }
}

TEST(EncoderTest, RoundTripsDataThatRepeatsAtTheWindowEdge) {
    // A block repeated at distances of 4095, 4096 and 4097: only the first two can match.
    for (const size_t period : {4095u, 4096u, 4097u}) {
        const std::vector<uint8_t> block = RandomBytes(period, static_cast<unsigned>(period));
        std::vector<uint8_t> input;
        for (int i = 0; i < 4; ++i)
            input.insert(input.end(), block.begin(), block.end());
        ExpectRoundTrip(input, "period " + std::to_string(period));
        if (period <= 4096) {
            EXPECT_LT(EncodeStream(input, CompressionLevel::Fast).size(), 2 * period)
                << "period " << period;
        }
    }
}

TEST(EncoderTest, LeadingBlanksAreCodedFromTheInitialSpaces) {
    const std::string text = std::string(600, ' ') + "Agreement";
    const std::vector<uint8_t> input(text.begin(), text.end());
    ExpectRoundTrip(input, "leading blanks");
    const std::vector<uint8_t> stream = EncodeStream(input, CompressionLevel::Default);
    const std::vector<Token> tokens = Tokens(stream, input.size());
    ASSERT_FALSE(tokens.empty());
    EXPECT_EQ(tokens.front().length, kMaxMatch);
    EXPECT_LT(stream.size(), 60u);
}

TEST(EncoderTest, RoundTripsTheKindsOfFilesAPackageHolds) {
    // Each kind from data every checkout has: real machine code (this test program, from its
    // middle, past the headers), the program icon, prose, and generated sound and artwork.
    // The benchmark measures the fixed corpus; here only the restored bytes count.
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const size_t program_size = static_cast<size_t>(fs::file_size(program));
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } samples[] = {
        {"machine code", FileBytes(program, program_size / 3, 200000)},
        {"icon", FileBytes(fs::path(LMV_SOURCE_DIR) / "resources" / "lmvstub.ico", 0, 200000)},
        {"prose", DocumentText(40000)},
        {"sound", ToneWave(75000)},
        {"artwork", GradientBitmap(320, 200)},
    };
    for (const auto& sample : samples) {
        ASSERT_GT(sample.bytes.size(), 1000u) << sample.what;
        ExpectRoundTrip(sample.bytes, sample.what);
    }
}

TEST(EncoderTest, RoundTripsSeveralMegabytes) {
    // Text, random data, runs and repeats far apart, in 2 MB: several model rebuilds, and
    // blocks of the optimal parse that end in every kind of data.
    std::vector<uint8_t> input;
    for (unsigned part = 0; input.size() < 2'000'000; ++part) {
        const std::vector<uint8_t> piece =
            part % 3 == 0   ? Text(300000, part)
            : part % 3 == 1 ? RandomBytes(100000, part)
                            : std::vector<uint8_t>(250000, static_cast<uint8_t>(part));
        input.insert(input.end(), piece.begin(), piece.end());
    }
    for (const CompressionLevel level : kLevels) {
        const std::vector<uint8_t> stream = EncodeStream(input, level);
        EXPECT_TRUE(DecodeStream(stream, static_cast<uint32_t>(input.size())) == input)
            << LevelName(level);
        EXPECT_LT(stream.size(), input.size() / 2) << LevelName(level);
    }
}

TEST(EncoderTest, BetterLevelsCodeText) {
    const std::vector<uint8_t> input = Text(100000, 9);
    const size_t fast = EncodeStream(input, CompressionLevel::Fast).size();
    const size_t best = EncodeStream(input, CompressionLevel::Best).size();
    EXPECT_LT(fast, input.size() / 2);
    EXPECT_LE(best, fast);
}

// The hook sees the position grow through a large member, ending at its size, and the
// stream is the one coded without a hook.
TEST(EncoderTest, ReportsProgressThroughALargeMember) {
    const std::vector<uint8_t> input = Text(6 * 65536, 7);
    for (const CompressionLevel level : kLevels) {
        std::vector<uint64_t> seen;
        const std::vector<uint8_t> stream =
            EncodeStream(input, level, [&](uint64_t done) { seen.push_back(done); });
        EXPECT_EQ(stream, EncodeStream(input, level)) << LevelName(level);
        ASSERT_FALSE(seen.empty()) << LevelName(level);
        EXPECT_EQ(seen.back(), input.size()) << LevelName(level);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << LevelName(level);
        // Every 64 KiB or so: five on the way through 384 KiB and the end, none at 0.
        EXPECT_GE(seen.size(), 6u) << LevelName(level);
        EXPECT_GT(seen.front(), 0u) << LevelName(level);
        for (size_t i = 1; i < seen.size(); ++i)
            EXPECT_LE(seen[i] - seen[i - 1], 96u * 1024) << LevelName(level) << " report " << i;
    }
    std::vector<uint64_t> empty;
    EXPECT_TRUE(EncodeStream({}, CompressionLevel::Default, [&](uint64_t done) {
                    empty.push_back(done);
                }).empty());
    EXPECT_EQ(empty, std::vector<uint64_t>{0});
}

// --- the installer's decoder run for the tool ---

// A reader over memory that gives at most `most` bytes a call, as a pipe or a socket may,
// and counts what it was asked for after it had said that the input ended.
struct TrickleReader {
    std::vector<uint8_t> bytes;
    size_t most;
    size_t at = 0;
    int calls_after_end = 0;
    bool ended = false;

    size_t operator()(uint8_t* into, size_t size) {
        if (ended) ++calls_after_end;
        const size_t count = std::min({size, most, bytes.size() - at});
        std::copy_n(bytes.begin() + static_cast<long>(at), count, into);
        at += count;
        ended = count == 0;
        return count;
    }
};

TEST(DecodeStreamTest, TakesTheStreamAPieceAtATimeAndNothingPastIt) {
    const std::vector<uint8_t> input = Text(100000, 31);
    TrickleReader reader{EncodeStream(input, CompressionLevel::Default), 1000};
    const uint32_t stored = static_cast<uint32_t>(reader.bytes.size());
    reader.bytes.resize(reader.bytes.size() + 500, 0xEE); // the next member
    std::vector<uint8_t> restored;
    std::vector<size_t> pieces;
    EXPECT_EQ(DecodeStream(std::ref(reader), stored, 100000,
                           [&](std::span<const uint8_t> piece) {
                               pieces.push_back(piece.size());
                               restored.insert(restored.end(), piece.begin(), piece.end());
                           }),
              100000u);
    EXPECT_EQ(restored, input);
    EXPECT_EQ(reader.at, stored);
    EXPECT_EQ(pieces, (std::vector<size_t>{16384, 16384, 16384, 16384, 16384, 16384, 1696}));

    // A reader that ends before the stream is not asked again: the rest reads as zeros, as
    // past the end of a cut installer. One stored byte of the ten-spaces stream is enough.
    TrickleReader cut{{0xCF}, 1000};
    restored.clear();
    EXPECT_EQ(DecodeStream(std::ref(cut), 3, 10,
                           [&](std::span<const uint8_t> piece) {
                               restored.insert(restored.end(), piece.begin(), piece.end());
                           }),
              10u);
    EXPECT_EQ(restored, std::vector<uint8_t>(10, ' '));
    EXPECT_EQ(cut.calls_after_end, 0);
}

// A writer or reader that throws abandons the member: the decoder stops at its next poll
// (past 102400 bytes of output) instead of running through the megabyte, and the exception
// reaches the caller.
TEST(DecodeStreamTest, AnExceptionStopsTheDecoderAndReachesTheCaller) {
    const std::vector<uint8_t> input = RandomBytes(1000000, 32);
    const std::vector<uint8_t> stream = LiteralStream(input);
    const uint32_t stored = static_cast<uint32_t>(stream.size());

    TrickleReader reader{stream, SIZE_MAX};
    int writes = 0;
    EXPECT_THROW(DecodeStream(std::ref(reader), stored, 1000000,
                              [&](std::span<const uint8_t>) {
                                  ++writes;
                                  throw std::runtime_error("disk full");
                              }),
                 std::runtime_error);
    EXPECT_EQ(writes, 1);
    EXPECT_LE(reader.at, 8u * 16384);

    size_t read_before_failure = 0;
    size_t written = 0;
    const ByteReader failing = [&](uint8_t* into, size_t size) -> size_t {
        if (read_before_failure >= 50000) throw std::runtime_error("read error");
        const size_t count = std::min<size_t>(size, 50000 - read_before_failure);
        std::copy_n(stream.begin() + static_cast<long>(read_before_failure), count, into);
        read_before_failure += count;
        return count;
    };
    EXPECT_THROW(DecodeStream(failing, stored, 1000000,
                              [&](std::span<const uint8_t> piece) { written += piece.size(); }),
                 std::runtime_error);
    EXPECT_LE(written, 7u * 16384);
}

// Each call has a decoder of its own: two threads are inside DecodeStream at the same time
// (each waits in its writer until the other has arrived, or gives up after a few seconds), and
// each restores its own member.
TEST(DecodeStreamTest, ThreadsDecodeAtTheSameTime) {
    const std::vector<uint8_t> inputs[2] = {Text(200000, 33), RandomBytes(150000, 34)};
    const std::vector<uint8_t> streams[2] = {EncodeStream(inputs[0], CompressionLevel::Fast),
                                             EncodeStream(inputs[1], CompressionLevel::Best)};
    std::atomic<int> inside{0};
    bool met[2] = {false, false};
    std::vector<uint8_t> restored[2];
    auto decode = [&](int which) {
        bool arrived = false;
        DecodeStream(
            ReadFromMemory(streams[which]), static_cast<uint32_t>(streams[which].size()),
            static_cast<uint32_t>(inputs[which].size()), [&](std::span<const uint8_t> piece) {
                if (!arrived) {
                    arrived = true;
                    ++inside;
                    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                    while (inside < 2 && std::chrono::steady_clock::now() < give_up)
                        std::this_thread::yield();
                    met[which] = inside == 2;
                }
                restored[which].insert(restored[which].end(), piece.begin(), piece.end());
            });
    };
    std::thread first(decode, 0);
    std::thread second(decode, 1);
    first.join();
    second.join();
    EXPECT_TRUE(met[0] && met[1]);
    EXPECT_TRUE(restored[0] == inputs[0]);
    EXPECT_TRUE(restored[1] == inputs[1]);
}

} // namespace
