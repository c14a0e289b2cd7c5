#include "decode/byte_sink.h"

#include "decode/write_failure.h"

#include <cstring>

namespace {
uint8_t sink_buffer[kSinkBlockSize];
int16_t fill = 0;            // bytes held in sink_buffer
int16_t flush_threshold = 0; // fill at which the load is written; valid while armed
bool armed = false;
uint32_t written = 0; // bytes written since the reset
} // namespace

void WritePtr(FILE* destination, int byte, uint32_t total) {
    if (destination == nullptr && byte == 0 && total == 0) {
        std::memset(sink_buffer, 0, sizeof sink_buffer);
        fill = 0;
        flush_threshold = 0;
        armed = false;
        written = 0;
        return;
    }
    if (!armed) {
        // Once the member is complete a new load would write bytes beyond its end: a last
        // match may run past the total, and its tail belongs to no file.
        if (written >= total) return;
        const uint32_t left = total - written;
        flush_threshold = static_cast<int16_t>(left < kSinkBlockSize ? left : kSinkBlockSize);
        armed = true;
    }
    sink_buffer[fill++] = static_cast<uint8_t>(byte);
    if (fill < flush_threshold) return;
    const size_t count = static_cast<size_t>(fill);
    written += count;
    // The runtime's stream may hold the last block in its own buffer, where a full disk would
    // only show when the file is closed, and nobody looks then: push it out now.
    const bool last_block = written >= total;
    if (std::fwrite(sink_buffer, 1, count, destination) != count ||
        (last_block && std::fflush(destination) != 0)) {
        FailWrite("Write error in function WritePtr()");
    }
    fill = 0;
    armed = false;
}
