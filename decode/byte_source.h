// ByteSource: the buffered input end of the decoder. It hands out the stored bytes of one
// compressed member, one byte per call, reading them from the package in blocks of 16384
// bytes.
//
// Contract: the caller says with every request how many of the member's stored bytes are
// still to come, the requested one included (`remaining`, never 0 for a real request). A
// block asks the file for min(remaining, 16384) bytes, so a member is read in full blocks
// and one shorter last block, and nothing past its last stored byte is ever read. When the
// file ends before the member does (a truncated package), the missing bytes are delivered
// as zeros: never bytes of an earlier block.
//
// ByteSource(nullptr, 0) is the reset: it forgets the current block, so the next request
// reads afresh. It must be called before every member.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int kSourceBlockSize = 16384;

// The source's process-wide state. It lives in this header only so that the per-byte path
// of ByteSource can be inlined into the decoder's bit input; nothing else touches it.
namespace source_detail {
struct SourceState {
    uint8_t buffer[kSourceBlockSize];
    int16_t bytes_left;    // not yet delivered; below 1 means a new block is due
    int16_t read_position; // index of the next byte to deliver
};
// Defined in the .cpp file, not as an inline variable: the Windows linker would give an
// inline variable initialised bytes in the file instead of zeroed memory at load time.
extern SourceState source;

void Reset();
// Reads the next block; false when there is nothing to read (remaining 0).
bool ReadBlock(FILE* package, uint32_t remaining);
} // namespace source_detail

// The next stored byte (0 to 255); 0 for the reset.
inline int ByteSource(FILE* package, uint32_t remaining) {
    using namespace source_detail;
    if (package == nullptr && remaining == 0) {
        Reset();
        return 0;
    }
    if (source.bytes_left < 1 && !ReadBlock(package, remaining)) return 0;
    --source.bytes_left;
    return source.buffer[source.read_position++];
}
