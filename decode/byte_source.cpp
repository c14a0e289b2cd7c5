#include "decode/byte_source.h"

#include <cstring>

namespace source_detail {

SourceState source;

// Every field's reset value is all zero bytes.
void Reset() {
    std::memset(&source, 0, sizeof source);
}

bool ReadBlock(FILE* package, uint32_t remaining) {
    const size_t wanted = remaining < kSourceBlockSize ? remaining : kSourceBlockSize;
    if (wanted == 0) return false; // a request for nothing: not part of any member
    const size_t got = package != nullptr ? std::fread(source.buffer, 1, wanted, package) : 0;
    // A short block means the file ended inside the member: the rest of the block reads as
    // zeros, so that no byte of an earlier block is handed out twice.
    if (got < wanted) std::memset(source.buffer + got, 0, wanted - got);
    source.bytes_left = static_cast<int16_t>(wanted);
    source.read_position = 0;
    return true;
}

} // namespace source_detail
