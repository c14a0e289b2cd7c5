#include "decode/byte_source.h"

#include <cstring>

void ResetByteSource(ByteSourceState& source) {
    std::memset(&source, 0, sizeof source);
}

bool ReadSourceBlock(ByteSourceState& source, const DecoderEnds& ends, uint32_t remaining) {
    const size_t wanted = remaining < kSourceBlockSize ? remaining : kSourceBlockSize;
    if (wanted == 0) return false; // a request for nothing: not part of any member
    const size_t got = ends.read(ends.context, source.buffer, wanted);
    // A short block means the input ended inside the member: the rest of the block reads as
    // zeros, so that no byte of an earlier block is handed out twice.
    if (got < wanted) std::memset(source.buffer + got, 0, wanted - got);
    source.bytes_left = static_cast<int16_t>(wanted);
    source.read_position = 0;
    return true;
}
