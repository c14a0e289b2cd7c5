#include "decode/byte_source.h"

#include <cstring>

namespace {
uint8_t source_buffer[kSourceBlockSize];
int16_t bytes_left = 0;    // not yet delivered; below 1 means a new block is due
int16_t read_position = 0; // index of the next byte to deliver
} // namespace

int ByteSource(FILE* package, uint32_t remaining) {
    if (package == nullptr && remaining == 0) {
        std::memset(source_buffer, 0, sizeof source_buffer);
        bytes_left = 0;
        read_position = 0;
        return 0;
    }
    if (bytes_left < 1) {
        const size_t wanted = remaining < kSourceBlockSize ? remaining : kSourceBlockSize;
        const size_t got = package != nullptr ? std::fread(source_buffer, 1, wanted, package) : 0;
        // A short block means the file ended inside the member: the rest of the block
        // reads as zeros, so that no byte of an earlier block is handed out twice.
        if (got < wanted) std::memset(source_buffer + got, 0, wanted - got);
        bytes_left = static_cast<int16_t>(wanted);
        read_position = 0;
        if (bytes_left < 1) return 0; // a request for nothing: not part of any member
    }
    --bytes_left;
    return source_buffer[read_position++];
}
