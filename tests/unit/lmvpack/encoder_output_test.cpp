// The encoder's output is part of what authors rely on: rebuilding the same manifest must give
// the same installer, byte for byte, whatever the tool's version. These fingerprints were taken
// from the encoder as it stood when it still held whole members in memory; the streaming
// encoder must reproduce every one of them, at every level, however its input arrives.
#include "support/test_bytes.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// FNV-1a over 64 bits: the fingerprint of a coded stream.
uint64_t Fingerprint(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// The words of the fingerprinted samples: changing them changes every fingerprint.
std::vector<uint8_t> Words(size_t size, unsigned seed) {
    static const char* const kWords[] = {"the ",   "screen ", "saver ", "license ", "program ",
                                         "colour", " of ",    "and ",   "to ",      "\r\n",
                                         "free ",  "copy ",   "night ", "you ",     "may "};
    return WordText(size, seed, kWords);
}

// A picture-like file: rows of 3000 bytes that change a little from row to row, so the best
// matches lie just outside the 4096-byte window and the near ones are short.
std::vector<uint8_t> Rows(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = i >= 3000 && random() % 8 != 0
                       ? bytes[i - 3000]
                       : static_cast<uint8_t>((i % 3000) / 40 + random() % 3);
    return bytes;
}

std::vector<uint8_t> Repeated(size_t period, int times) {
    const std::vector<uint8_t> block = RandomBytes(period, static_cast<unsigned>(period));
    std::vector<uint8_t> bytes;
    for (int i = 0; i < times; ++i)
        bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

// Text, noise and runs in turn over 1.2 MB: several model rebuilds, optimal-parse blocks
// that end in every kind of data, and far more input than any buffer of the encoder holds.
std::vector<uint8_t> Mixed() {
    std::vector<uint8_t> bytes;
    for (unsigned part = 0; bytes.size() < 1'200'000; ++part) {
        const std::vector<uint8_t> piece =
            part % 4 == 0   ? Words(170000, part)
            : part % 4 == 1 ? RandomBytes(60000, part)
            : part % 4 == 2 ? std::vector<uint8_t>(90000, static_cast<uint8_t>(part))
                            : Rows(77777, part);
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    return bytes;
}

std::vector<uint8_t> LeadingBlanks() {
    std::vector<uint8_t> bytes(5000, ' ');
    const std::vector<uint8_t> words = Words(20000, 7);
    bytes.insert(bytes.end(), words.begin(), words.end());
    return bytes;
}

struct Sample {
    const char* name;
    std::vector<uint8_t> (*make)();
    uint64_t fast, normal, best; // fingerprints of the coded stream per level
};

const Sample kSamples[] = {
    {"one byte", [] { return std::vector<uint8_t>{'A'}; }, 0xaf63c44c8601c3c4, 0xaf63c44c8601c3c4,
     0xaf63c44c8601c3c4},
    {"three bytes",
     [] {
         return std::vector<uint8_t>{'a', 'b', 'c'};
     },
     0x00756217f127f293, 0x00756217f127f293, 0x00756217f127f293},
    {"31 random bytes", [] { return RandomBytes(31, 31); }, 0x62b1f671fa99056f, 0x62b1f671fa99056f,
     0x62b1f671fa99056f},
    {"leading blanks", LeadingBlanks, 0x73fc5428a4a58313, 0x6c5e208210dd21e5, 0x8d8dde91f5e777b3},
    {"words", [] { return Words(150000, 1); }, 0x1293e4d2afb93866, 0x5888869190de778d,
     0x4aee88b64dae70a8},
    {"noise", [] { return RandomBytes(70000, 2); }, 0x31b9dc5c83e89877, 0x31b9dc5c83e89877,
     0xf245f6c2bc08764b},
    {"rows", [] { return Rows(200000, 3); }, 0x1d75cb4c26150d63, 0xb01242e3f5c12b32,
     0xc73a8cafab464ba3},
    {"period 4095", [] { return Repeated(4095, 5); }, 0xc80ecc4ae9808350, 0xc80ecc4ae9808350,
     0xc80ecc4ae9808350},
    {"period 4096", [] { return Repeated(4096, 5); }, 0x45b3ce6b640f08d1, 0x45b3ce6b640f08d1,
     0xc8483fe4265cbf2e},
    {"period 4097", [] { return Repeated(4097, 5); }, 0xff683d1be786c537, 0xff683d1be786c537,
     0xff683d1be786c537},
    {"mixed", Mixed, 0xdba99e105d59fc73, 0xeb447ac4aa1c91ad, 0x4492ef7bc4c9da86},
};

constexpr CompressionLevel kLevels[] = {CompressionLevel::Fast, CompressionLevel::Default,
                                        CompressionLevel::Best};

std::string Describe(const char* sample, CompressionLevel level,
                     const std::vector<uint8_t>& stream) {
    char fingerprint[24];
    std::snprintf(fingerprint, sizeof fingerprint, "0x%016llx",
                  static_cast<unsigned long long>(Fingerprint(stream)));
    return std::string(sample) + " at level " + std::to_string(static_cast<int>(level)) + ": " +
           fingerprint + ", " + std::to_string(stream.size()) + " bytes";
}

// Codes `input` read in pieces of 1 to `largest` bytes, sizes drawn from `seed`.
std::vector<uint8_t> EncodeInPieces(const std::vector<uint8_t>& input, CompressionLevel level,
                                    size_t largest, unsigned seed) {
    std::mt19937 random(seed);
    size_t at = 0;
    std::vector<uint8_t> stream;
    size_t pieces_out = 0;
    const uint64_t size = EncodeStream(
        [&](uint8_t* into, size_t room) {
            const size_t count =
                std::min({room, input.size() - at, static_cast<size_t>(random() % largest + 1)});
            std::copy_n(input.begin() + static_cast<long>(at), count, into);
            at += count;
            return count;
        },
        [&](std::span<const uint8_t> piece) {
            stream.insert(stream.end(), piece.begin(), piece.end());
            ++pieces_out;
        },
        level);
    EXPECT_EQ(size, stream.size());
    EXPECT_GE(pieces_out, stream.size() / 65536);
    return stream;
}

TEST(EncoderOutputTest, EveryLevelCodesAsItAlwaysHas) {
    for (const Sample& sample : kSamples) {
        const std::vector<uint8_t> input = sample.make();
        const uint64_t expected[] = {sample.fast, sample.normal, sample.best};
        for (size_t i = 0; i < std::size(kLevels); ++i) {
            const std::vector<uint8_t> stream = EncodeStream(input, kLevels[i]);
            EXPECT_EQ(Fingerprint(stream), expected[i])
                << Describe(sample.name, kLevels[i], stream);
        }
    }
}

TEST(EncoderOutputTest, HowTheInputArrivesChangesNothing) {
    const std::vector<uint8_t> mixed = Mixed();
    const std::vector<uint8_t> words = Words(40000, 5);
    for (const CompressionLevel level : kLevels) {
        const std::vector<uint8_t> whole = EncodeStream(mixed, level);
        EXPECT_TRUE(EncodeInPieces(mixed, level, 70000, 1) == whole)
            << Describe("mixed", level, whole);
        EXPECT_TRUE(EncodeInPieces(mixed, level, 100, 2) == whole)
            << Describe("mixed", level, whole);
        const std::vector<uint8_t> coded = EncodeStream(words, level);
        EXPECT_TRUE(EncodeInPieces(words, level, 1, 3) == coded) << Describe("words", level, coded);
    }
}

} // namespace
