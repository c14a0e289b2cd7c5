#include "decode/byte_sink.h"

#include <cstring>

namespace sink_detail {

SinkState sink;

// Every field's reset value is all zero bytes.
void Reset() {
    std::memset(&sink, 0, sizeof sink);
}

bool Arm(uint32_t total) {
    // Once the member is complete a new load would write bytes beyond its end: a last match
    // may run past the total, and its tail belongs to no file. After a failed write the file
    // takes nothing more.
    if (sink.failed || sink.written >= total) return false;
    const uint32_t left = total - sink.written;
    sink.flush_threshold = static_cast<int16_t>(left < kSinkBlockSize ? left : kSinkBlockSize);
    sink.armed = true;
    return true;
}

void Flush(FILE* destination, uint32_t total) {
    const size_t count = static_cast<size_t>(sink.fill);
    sink.written += static_cast<uint32_t>(count);
    // The runtime's stream may hold the last block in its own buffer, where a full disk would
    // only show when the file is closed, and nobody looks then: push it out now.
    const bool last_block = sink.written >= total;
    if (std::fwrite(sink.buffer, 1, count, destination) != count ||
        (last_block && std::fflush(destination) != 0)) {
        sink.failed = true;
    }
    sink.fill = 0;
    sink.armed = false;
}

} // namespace sink_detail
