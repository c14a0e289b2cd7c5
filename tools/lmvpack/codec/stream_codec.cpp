// The installer's own decoder run for the authoring tool, so that what the tool verifies,
// extracts and decodes is exactly what the installer will restore. That decoder reads from and
// writes to the runtime's file streams; here those streams are the ends of pipes, drained and
// filled by a helper thread, so restored bytes reach the caller a piece at a time and are never
// gathered in memory or on disk. (The Windows runtime has no stream over a callback, and a pipe
// is the one such stream both systems have.)
#include "tools/lmvpack/codec/stream_codec.h"

#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/lzh_decoder.h"
#include "tools/lmvpack/support/worker_thread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr size_t kPieceSize = 65536;

#ifdef _WIN32
int MakePipe(int ends[2]) {
    return ::_pipe(ends, kPieceSize, _O_BINARY | _O_NOINHERIT);
}
FILE* StreamOn(int descriptor, const char* mode) {
    return ::_fdopen(descriptor, mode);
}
long ReadSome(int descriptor, uint8_t* into, size_t size) {
    return ::_read(descriptor, into, static_cast<unsigned>(size));
}
long WriteSome(int descriptor, const uint8_t* from, size_t size) {
    return ::_write(descriptor, from, static_cast<unsigned>(size));
}
void CloseEnd(int descriptor) {
    ::_close(descriptor);
}
#else
int MakePipe(int ends[2]) {
    return ::pipe2(ends, O_CLOEXEC);
}
FILE* StreamOn(int descriptor, const char* mode) {
    return ::fdopen(descriptor, mode);
}
long ReadSome(int descriptor, uint8_t* into, size_t size) {
    ssize_t got;
    do
        got = ::read(descriptor, into, size);
    while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}
long WriteSome(int descriptor, const uint8_t* from, size_t size) {
    ssize_t put;
    do
        put = ::write(descriptor, from, size);
    while (put < 0 && errno == EINTR);
    return static_cast<long>(put);
}
void CloseEnd(int descriptor) {
    ::close(descriptor);
}
#endif

// One pipe: a runtime stream on the end the decoder uses, a plain descriptor on the end the
// helper thread serves. Whatever happens, both ends are closed once.
class Pipe {
  public:
    // `stream_reads`: the stream is the reading end (the decoder's input), else the writing one.
    explicit Pipe(bool stream_reads) {
        int ends[2];
        if (MakePipe(ends) != 0) throw std::runtime_error("cannot create a pipe");
        const int stream_end = stream_reads ? ends[0] : ends[1];
        descriptor_ = stream_reads ? ends[1] : ends[0];
        stream_ = StreamOn(stream_end, stream_reads ? "rb" : "wb");
        if (stream_ == nullptr) {
            CloseEnd(stream_end);
            CloseEnd(descriptor_);
            throw std::runtime_error("cannot open a pipe");
        }
    }
    ~Pipe() {
        CloseStream();
        CloseDescriptor();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    FILE* stream() const { return stream_; }
    int descriptor() const { return descriptor_; }
    void CloseStream() {
        if (stream_ != nullptr) std::fclose(stream_);
        stream_ = nullptr;
    }
    void CloseDescriptor() {
        if (descriptor_ >= 0) CloseEnd(descriptor_);
        descriptor_ = -1;
    }

  private:
    FILE* stream_ = nullptr;
    int descriptor_ = -1;
};

Mutex& DecoderTurn() {
    static Mutex turn;
    return turn;
}

bool NeverStop() {
    return false;
}

} // namespace

uint64_t DecodeStream(FILE* stream, uint32_t stored_size, uint32_t unpacked_size,
                      const ByteWriter& write) {
    const std::lock_guard<Mutex> turn(DecoderTurn());
    Pipe output(false);
    std::vector<uint8_t> piece(kPieceSize);
    uint64_t handed = 0;
    std::exception_ptr failure;
    // The thread reads the pipe to its end whatever `write` does: a writer that stopped
    // reading would leave the decoder blocked on a full pipe.
    WorkerThread drain([&] {
        for (;;) {
            const long got = ReadSome(output.descriptor(), piece.data(), piece.size());
            if (got <= 0) break;
            handed += static_cast<uint64_t>(got);
            if (failure) continue;
            try {
                write(std::span<const uint8_t>(piece.data(), static_cast<size_t>(got)));
            } catch (...) {
                failure = std::current_exception();
            }
        }
    });
    ByteSource(nullptr, 0);
    WritePtr(nullptr, 0, 0);
    LzhDecoder(stream, output.stream(), unpacked_size, stored_size, NeverStop);
    output.CloseStream();
    drain.Join();
    if (failure) std::rethrow_exception(failure);
    return handed;
}

uint64_t DecodeStream(const ByteReader& read, uint32_t stored_size, uint32_t unpacked_size,
                      const ByteWriter& write) {
    Pipe input(true);
    std::vector<uint8_t> piece(kPieceSize);
    std::exception_ptr failure;
    WorkerThread feed([&] {
        for (uint64_t left = stored_size; left > 0;) {
            size_t got = 0;
            try {
                got =
                    read(piece.data(), static_cast<size_t>(std::min<uint64_t>(left, piece.size())));
            } catch (...) {
                failure = std::current_exception();
            }
            if (got == 0) break;
            left -= got;
            for (size_t put = 0; put < got;) {
                const long now = WriteSome(input.descriptor(), piece.data() + put, got - put);
                if (now <= 0) return input.CloseDescriptor();
                put += static_cast<size_t>(now);
            }
        }
        input.CloseDescriptor();
    });
    uint64_t handed = 0;
    std::exception_ptr decode_failure;
    try {
        handed = DecodeStream(input.stream(), stored_size, unpacked_size, write);
    } catch (...) {
        decode_failure = std::current_exception();
    }
    // The decoder need not take every byte offered: the rest is read here, so that the feeding
    // thread can finish its last write.
    uint8_t rest[4096];
    while (std::fread(rest, 1, sizeof rest, input.stream()) > 0) {
    }
    feed.Join();
    if (decode_failure) std::rethrow_exception(decode_failure);
    if (failure) std::rethrow_exception(failure);
    return handed;
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
