// The installer's own decoder run for the authoring tool, so that what the tool verifies,
// extracts and decodes is exactly what the installer will restore. Each call owns its decoder's
// state and serves the decoder's plain reads and writes from the caller's reader and writer, so
// restored bytes reach the caller a block at a time and are never gathered in memory or on disk,
// and calls on several threads run at once.
#include "tools/lmvpack/codec/stream_codec.h"

#include "decode/lzh_decoder.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>

namespace {

// The ends of one decoding. The reader and the writer may throw, but the decoder is the
// installer's code, written for a program without exceptions: an exception is held here, the
// read or write reports nothing done, and the poll stops the decoder; DecodeStream rethrows it
// once the decoder has returned.
struct PieceEnds {
    const ByteReader& read;
    const ByteWriter& write;
    bool input_ended = false; // the reader said so once: it is not asked again
    uint64_t handed = 0;
    std::exception_ptr failure;
};

// The source asks for whole blocks; a reader may deliver less than asked before its end.
size_t ReadPieces(void* context, uint8_t* into, size_t size) {
    PieceEnds& ends = *static_cast<PieceEnds*>(context);
    size_t filled = 0;
    while (filled < size && !ends.input_ended) {
        size_t got = 0;
        try {
            got = ends.read(into + filled, size - filled);
        } catch (...) {
            ends.failure = std::current_exception();
        }
        if (got == 0) ends.input_ended = true;
        filled += got;
    }
    return filled;
}

size_t WritePieces(void* context, const uint8_t* bytes, size_t size) {
    PieceEnds& ends = *static_cast<PieceEnds*>(context);
    if (ends.failure) return 0;
    try {
        ends.write(std::span<const uint8_t>(bytes, size));
    } catch (...) {
        ends.failure = std::current_exception();
        return 0;
    }
    ends.handed += size;
    return size;
}

bool StopOnFailure(void* context) {
    return static_cast<bool>(static_cast<PieceEnds*>(context)->failure);
}

} // namespace

uint64_t DecodeStream(FILE* stream, uint32_t stored_size, uint32_t unpacked_size,
                      const ByteWriter& write) {
    return DecodeStream(
        [stream](uint8_t* into, size_t size) { return std::fread(into, 1, size, stream); },
        stored_size, unpacked_size, write);
}

uint64_t DecodeStream(const ByteReader& read, uint32_t stored_size, uint32_t unpacked_size,
                      const ByteWriter& write) {
    // Value-initialised, so all zero bytes: the source and the sink start reset.
    const auto state = std::make_unique<DecoderState>();
    PieceEnds pieces{read, write, false, 0, nullptr};
    LzhDecoder(*state, {ReadPieces, WritePieces, StopOnFailure, &pieces}, unpacked_size,
               stored_size);
    if (pieces.failure) std::rethrow_exception(pieces.failure);
    return pieces.handed;
}

std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stream, uint32_t unpacked_size) {
    if (stream.size() > UINT32_MAX) throw std::runtime_error("stream larger than 4 GiB");
    std::vector<uint8_t> restored;
    DecodeStream(ReadFromMemory(stream), static_cast<uint32_t>(stream.size()), unpacked_size,
                 [&](std::span<const uint8_t> piece) {
                     restored.insert(restored.end(), piece.begin(), piece.end());
                 });
    return restored;
}

ByteReader ReadFromMemory(std::span<const uint8_t> bytes) {
    return [bytes, at = size_t{0}](uint8_t* into, size_t size) mutable {
        const size_t count = std::min(size, bytes.size() - at);
        if (count > 0) std::memcpy(into, bytes.data() + at, count);
        at += count;
        return count;
    };
}
