// ByteSink: the buffered output end of the decoder. WritePtr takes the restored bytes of one
// compressed member one at a time and hands them to the caller's plain write
// (decode/decoder_ends.h) in blocks of 16384.
//
// Contract: `total` is the member's unpacked size, the same with every byte. Every write but
// the last is exactly 16384 bytes, and the last one happens on the very byte that completes
// `total`, so no final flush call exists or is needed. The destination never receives more
// than `total` bytes: bytes handed in after the member is complete (the tail of a last match
// that runs past the end) are dropped. A write that the destination does not take in full (a
// full disk) marks the sink failed (SinkWriteFailed): it writes nothing more until its reset,
// and the extraction stops the decoder and reports the member as not written. Bytes still
// buffered when the decoder stops early are never written, so a cut-short member leaves a whole
// number of 16384-byte blocks.
//
// The state is the caller's: a ByteSinkState that is all zero bytes, or reset by ResetByteSink,
// before every member. The installer keeps one instance (decode/installer_decoder.h), which
// WritePtr(destination, byte, total) serves with a runtime stream; WritePtr(nullptr, 0, 0) is
// that instance's reset and must be called before every member.
#pragma once

#include "decode/decoder_ends.h"

#include <cstdint>
#include <cstdio>

constexpr int kSinkBlockSize = 16384;

struct ByteSinkState {
    uint8_t buffer[kSinkBlockSize];
    int16_t fill;            // bytes held in buffer
    int16_t flush_threshold; // fill at which the load is written; valid while armed
    bool armed;
    uint32_t written; // bytes written since the reset
    bool failed;      // a write was not taken in full: nothing more is written
};

// Every field's reset value is all zero bytes.
void ResetByteSink(ByteSinkState& sink);
// Works out the threshold of a new load; false when the member is already complete.
bool ArmSink(ByteSinkState& sink, uint32_t total);
void FlushSink(ByteSinkState& sink, const DecoderEnds& ends);

// Appends one restored byte. Inline: it runs once per restored byte in the decoder's loop,
// and only a full block costs a call.
inline void WritePtr(ByteSinkState& sink, const DecoderEnds& ends, int byte, uint32_t total) {
    if (!sink.armed && !ArmSink(sink, total)) return;
    sink.buffer[sink.fill++] = static_cast<uint8_t>(byte);
    if (sink.fill >= sink.flush_threshold) FlushSink(sink, ends);
}

// True once a write of the member being restored was not taken in full, until the reset.
inline bool SinkWriteFailed(const ByteSinkState& sink) {
    return sink.failed;
}

// The installer's instance (decode/installer_decoder.cpp).
namespace installer_sink {
void Reset();
void Put(FILE* destination, int byte, uint32_t total);
} // namespace installer_sink

// The installer's instance, writing to `destination`; (nullptr, 0, 0) is the reset. Inline,
// so that the installer, which calls it only to reset, carries no more than the reset.
inline void WritePtr(FILE* destination, int byte, uint32_t total) {
    if (destination == nullptr && byte == 0 && total == 0) {
        installer_sink::Reset();
        return;
    }
    installer_sink::Put(destination, byte, total);
}

// The installer's instance: true once a write of its member was not taken in full.
bool SinkWriteFailed();
