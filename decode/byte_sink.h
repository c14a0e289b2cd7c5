// ByteSink: the buffered output end of the decoder. WritePtr takes the restored bytes of one
// compressed member one at a time and writes them to the destination in blocks of 16384.
//
// Contract: `total` is the member's unpacked size, the same with every byte. Every write but
// the last is exactly 16384 bytes, and the last one happens on the very byte that completes
// `total`, so no final flush call exists or is needed. The destination never receives more
// than `total` bytes: bytes handed in after the member is complete (the tail of a last match
// that runs past the end) are dropped. A write that the file does not accept in full (a full
// disk) marks the sink failed (SinkWriteFailed): it writes nothing more until its reset, and
// the extraction stops the decoder and reports the member as not written. The last block is
// also flushed out of the stream's own buffer at once, so that a full disk cannot pass
// unnoticed until the file is closed. Bytes still buffered when the decoder stops early are
// never written, so a cut-short member leaves a whole number of 16384-byte blocks.
//
// WritePtr(nullptr, 0, 0) is the reset; it must be called before every member.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int kSinkBlockSize = 16384;

// The sink's process-wide state. It lives in this header only so that the per-byte path of
// WritePtr can be inlined into the decoder's loop; nothing else touches it.
namespace sink_detail {
struct SinkState {
    uint8_t buffer[kSinkBlockSize];
    int16_t fill;            // bytes held in buffer
    int16_t flush_threshold; // fill at which the load is written; valid while armed
    bool armed;
    uint32_t written; // bytes written since the reset
    bool failed;      // a write was not taken in full: nothing more is written
};
// Defined in the .cpp file, not as an inline variable: the Windows linker would give an
// inline variable initialised bytes in the file instead of zeroed memory at load time.
extern SinkState sink;

void Reset();
// Works out the threshold of a new load; false when the member is already complete.
bool Arm(uint32_t total);
void Flush(FILE* destination, uint32_t total);
} // namespace sink_detail

// True once a write of the member being restored was not taken in full, until the reset.
inline bool SinkWriteFailed() {
    return sink_detail::sink.failed;
}

inline void WritePtr(FILE* destination, int byte, uint32_t total) {
    using namespace sink_detail;
    if (destination == nullptr && byte == 0 && total == 0) {
        Reset();
        return;
    }
    if (!sink.armed && !Arm(total)) return;
    sink.buffer[sink.fill++] = static_cast<uint8_t>(byte);
    if (sink.fill >= sink.flush_threshold) Flush(destination, total);
}
