// LzhDecoder restores one compressed member of the install package.
//
// The coded stream is LZ77 over a 4096-byte history with matches of 3 to 30 bytes. Literal
// bytes and match lengths share one 284-symbol alphabet coded by the adaptive Huffman model
// of decode/adaptive_model.h; a match symbol is followed by its offset, the upper six bits
// in a fixed prefix code (OffsetHigh/OffsetCodeLength below) and the lower six bits plain.
// Bits are read most significant first. There is no header, no block structure and no end
// code: the stream ends when the member's unpacked size has been restored, and bits past
// the stored bytes read as zeros.
//
// Contract: stored bytes come only through the byte source, never more than `stored_size` of
// them; restored bytes go only through the byte sink. Both must have been reset and the input
// must stand at the member's first stored byte. The poll runs right after the first symbol
// and then each time the output passes another multiple of 102400 bytes; when it answers
// true the decoder stops at once. Every bit pattern decodes to something, so the decoder
// never fails; the sizes are signed counts, so an unpacked size of 2^31 or more restores
// nothing. The result is the number of bytes restored, which can exceed the unpacked size
// by the tail of a last match (the sink drops that tail).
//
// All of it works on a DecoderState that the caller owns, with the ends the caller supplies
// (decode/decoder_ends.h), so that any number of members can be restored at once, each with
// its own state. The installer keeps one instance (decode/installer_decoder.h) and restores
// from and to the runtime's streams through LzhDecoder(package, destination, ...).
#pragma once

#include "decode/adaptive_model.h"
#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/decoder_ends.h"

#include <array>
#include <cstdint>
#include <cstdio>

constexpr int kRingSize = 4096;
constexpr int kMaxMatch = 30;
constexpr int kMinMatch = 3;
constexpr int kInitialFill = kRingSize - kMaxMatch; // ring positions set to spaces: 0..4065
constexpr int32_t kPollInterval = 102400;

// The prefix code of the upper six bits u of an offset, looked up by the next eight bits of
// the stream: codes of 3 bits (u = 0), 4 (1..3), 5 (4..11), 6 (12..23), 7 (24..47) and
// 8 (48..63), handed out in increasing order of u; each u owns 2^(8 - length) consecutive
// table entries.
struct OffsetTables {
    std::array<uint8_t, 256> high{};
    std::array<uint8_t, 256> length{};
};

constexpr OffsetTables MakeOffsetTables() {
    constexpr int kCodesOfLength[9] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
    OffsetTables tables;
    int index = 0;
    int u = 0;
    for (int length = 3; length <= 8; ++length) {
        for (int code = 0; code < kCodesOfLength[length]; ++code, ++u) {
            for (int k = 0; k < (1 << (8 - length)); ++k, ++index) {
                tables.high[index] = static_cast<uint8_t>(u);
                tables.length[index] = static_cast<uint8_t>(length);
            }
        }
    }
    return tables;
}

inline constexpr OffsetTables kOffsetTables = MakeOffsetTables();
inline constexpr const std::array<uint8_t, 256>& OffsetHigh = kOffsetTables.high;
inline constexpr const std::array<uint8_t, 256>& OffsetCodeLength = kOffsetTables.length;

static_assert(OffsetHigh[0] == 0 && OffsetHigh[31] == 0 && OffsetHigh[32] == 1);
static_assert(OffsetHigh[80] == 4 && OffsetHigh[144] == 12 && OffsetHigh[192] == 24);
static_assert(OffsetHigh[240] == 48 && OffsetHigh[255] == 63 && OffsetCodeLength[255] == 8);

// Everything one member's restoring keeps: about 40 KiB, fixed in size, nothing allocated
// per member or per symbol. All zero bytes is a state whose source and sink are reset; the
// rest is set afresh for every member. The loop works on copies of the bit input and the write
// position in registers and leaves them here when it returns; the count of bytes restored is
// its result.
struct DecoderState {
    ByteSourceState source;
    ByteSinkState sink;
    AdaptiveModel model;
    uint8_t ring[kRingSize]; // the last 4096 restored bytes
    unsigned write_position; // ring index of the next restored byte
    uint32_t bit_buffer;     // left-aligned in 32 bits
    unsigned bit_count;      // valid bits in bit_buffer, 0 to 16
    uint32_t remaining;      // stored bytes not yet taken from the source
    int64_t next_poll_mark;  // produced count beyond which the next poll is due
    uint32_t total;          // the member's unpacked size, handed to the sink with every byte
    DecoderEnds ends;        // the caller's, for the member being restored
};

// Restores the member on `state`, reading and writing through `ends`, whose poll is the one
// of the contract above; state.source and state.sink must have been reset.
int32_t LzhDecoder(DecoderState& state, const DecoderEnds& ends, uint32_t unpacked_size,
                   uint32_t stored_size);

// The installer's instance, over the runtime's streams; ByteSource and WritePtr must have been
// reset and `package` positioned at the member. LzhDecoder(nullptr, nullptr, 0, 0, nullptr)
// does nothing and returns 0, like any call with an unpacked size of 0.
int32_t LzhDecoder(FILE* package, FILE* destination, uint32_t unpacked_size, uint32_t stored_size,
                   bool (*poll)());
