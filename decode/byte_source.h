// ByteSource: the buffered input end of the decoder. It hands out the stored bytes of one
// compressed member, one byte per call, reading them in blocks of 16384 bytes through the
// caller's plain read (decode/decoder_ends.h).
//
// Contract: the caller says with every request how many of the member's stored bytes are
// still to come, the requested one included (`remaining`, never 0 for a real request). A
// block asks for min(remaining, 16384) bytes, so a member is read in full blocks and one
// shorter last block, and nothing past its last stored byte is ever read. When the input ends
// before the member does (a truncated package), the missing bytes are delivered as zeros: never
// bytes of an earlier block.
//
// The state is the caller's: a ByteSourceState that is all zero bytes, or reset by
// ResetByteSource, before every member. The installer keeps one instance
// (decode/installer_decoder.h), which ByteSource(package, remaining) serves from a runtime
// stream; ByteSource(nullptr, 0) is that instance's reset and must be called before every member.
#pragma once

#include "decode/decoder_ends.h"

#include <cstdint>
#include <cstdio>

constexpr int kSourceBlockSize = 16384;

struct ByteSourceState {
    uint8_t buffer[kSourceBlockSize];
    int16_t bytes_left;    // not yet delivered; below 1 means a new block is due
    int16_t read_position; // index of the next byte to deliver
};

// Every field's reset value is all zero bytes.
void ResetByteSource(ByteSourceState& source);

// Reads the next block; false when there is nothing to read (remaining 0).
bool ReadSourceBlock(ByteSourceState& source, const DecoderEnds& ends, uint32_t remaining);

// The next stored byte (0 to 255). Inline: it runs once per stored byte in the decoder's bit
// input, and only a new block costs a call.
inline int ByteSource(ByteSourceState& source, const DecoderEnds& ends, uint32_t remaining) {
    if (source.bytes_left < 1 && !ReadSourceBlock(source, ends, remaining)) return 0;
    --source.bytes_left;
    return source.buffer[source.read_position++];
}

// The installer's instance (decode/installer_decoder.cpp).
namespace installer_source {
void Reset();
int Next(FILE* package, uint32_t remaining);
} // namespace installer_source

// The installer's instance, reading `package`: the next stored byte; 0 for the reset. Inline,
// so that the installer, which calls it only to reset, carries no more than the reset.
inline int ByteSource(FILE* package, uint32_t remaining) {
    if (package == nullptr && remaining == 0) {
        installer_source::Reset();
        return 0;
    }
    return installer_source::Next(package, remaining);
}
