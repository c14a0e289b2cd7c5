#include "decode/byte_sink.h"

#include <cstring>

void ResetByteSink(ByteSinkState& sink) {
    std::memset(&sink, 0, sizeof sink);
}

bool ArmSink(ByteSinkState& sink, uint32_t total) {
    // Once the member is complete a new load would write bytes beyond its end: a last match
    // may run past the total, and its tail belongs to no file. After a failed write the
    // destination takes nothing more.
    if (sink.failed || sink.written >= total) return false;
    const uint32_t left = total - sink.written;
    sink.flush_threshold = static_cast<int16_t>(left < kSinkBlockSize ? left : kSinkBlockSize);
    sink.armed = true;
    return true;
}

void FlushSink(ByteSinkState& sink, const DecoderEnds& ends) {
    const size_t count = static_cast<size_t>(sink.fill);
    sink.written += static_cast<uint32_t>(count);
    if (ends.write(ends.context, sink.buffer, count) != count) sink.failed = true;
    sink.fill = 0;
    sink.armed = false;
}
