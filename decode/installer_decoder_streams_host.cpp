// The installer's one decoder over the runtime's file streams: ByteSource, WritePtr and
// LzhDecoder as they take a FILE*, for the hosts of the installer's code (the unit tests, the
// fuzzers, the codec benchmark). The installer itself restores through its handle calls
// (decode/member_extraction.cpp) and calls these only to reset, which the headers do inline, so
// that no stream function reaches its import table.
#include "decode/installer_decoder.h"

namespace {

// The streams of one call: the package read from, the destination written to, the poll.
struct StreamEnds {
    FILE* package;
    FILE* destination;
    bool (*poll)();
};

size_t ReadStream(void* context, uint8_t* into, size_t size) {
    FILE* const package = static_cast<StreamEnds*>(context)->package;
    return package != nullptr ? std::fread(into, 1, size, package) : 0;
}

size_t WriteStream(void* context, const uint8_t* bytes, size_t size) {
    FILE* const destination = static_cast<StreamEnds*>(context)->destination;
    const size_t put = std::fwrite(bytes, 1, size, destination);
    // The stream may hold the last block in its own buffer, where a full disk would only show
    // when the file is closed: push it out now. Every other block is a whole number of the
    // stream's buffers, which it writes through at once.
    return std::fflush(destination) == 0 ? put : 0;
}

bool PollStreams(void* context) {
    bool (*const poll)() = static_cast<StreamEnds*>(context)->poll;
    return poll != nullptr && poll();
}

DecoderEnds EndsOf(StreamEnds& streams) {
    return {ReadStream, WriteStream, PollStreams, &streams};
}

} // namespace

int installer_source::Next(FILE* package, uint32_t remaining) {
    StreamEnds streams{package, nullptr, nullptr};
    return ByteSource(installer_decoder.source, EndsOf(streams), remaining);
}

void installer_sink::Put(FILE* destination, int byte, uint32_t total) {
    StreamEnds streams{nullptr, destination, nullptr};
    WritePtr(installer_decoder.sink, EndsOf(streams), byte, total);
}

int32_t LzhDecoder(FILE* package, FILE* destination, uint32_t unpacked_size, uint32_t stored_size,
                   bool (*poll)()) {
    StreamEnds streams{package, destination, poll};
    return LzhDecoder(installer_decoder, EndsOf(streams), unpacked_size, stored_size);
}
