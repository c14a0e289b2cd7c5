// The decoder over arbitrary streams and sizes. Every bit pattern decodes to something, so
// the findings this target looks for are reads or writes out of bounds (a damaged tree walk,
// a ring index), a loop that does not end, and broken promises of the sink: the destination
// receives exactly the unpacked size when the run completes, whole 16384-byte blocks when the
// poll stops it, and never a byte more than the unpacked size.
//
// Input: u32 unpacked size, u8 flags, then the stored stream. Sizes below 2^31 are bounded by
// what the stream can pay for (input_bounds.h: 8 bytes per stream byte and 1 KiB of zero bits
// past it, which a stream of 4 KB takes past the model's first rebuild) so that a run stays
// fast; larger ones are kept, since they must restore nothing at once. A bounded member stays
// below the second poll (102400 bytes): stops later in a member are the unit tests' business.
// Flags: the low nibble, when not 0, makes the poll answer stop at that poll; bit 4 claims more
// stored bytes than the stream holds (a package cut inside the member), which the source must fill
// with zeros. Every input is decoded twice: by the installer's instance over runtime streams and
// on a state of its own over plain reads and writes of memory, which must agree byte for byte.
#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/lzh_decoder.h"
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

uint64_t bytes_received = 0;
uint64_t write_calls = 0;
uint64_t received_hash = 0;
int polls = 0;
int stop_at_poll = 0;
bool stopped = false;

// FNV-1a, to compare the two decodings' output without keeping it.
uint64_t AddToHash(uint64_t hash, const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}

ssize_t CountWrite(void*, const char* bytes, size_t size) {
    bytes_received += size;
    ++write_calls;
    received_hash = AddToHash(received_hash, reinterpret_cast<const uint8_t*>(bytes), size);
    return static_cast<ssize_t>(size);
}

bool Poll() {
    ++polls;
    stopped = stop_at_poll != 0 && polls >= stop_at_poll;
    return stopped;
}

// The same member on a state of its own, through plain reads and writes of memory.
struct MemoryEnds {
    const uint8_t* data;
    size_t size;
    size_t at;
    uint64_t received;
    uint64_t hash;
    int polls;
};

size_t ReadMemory(void* context, uint8_t* into, size_t size) {
    auto& ends = *static_cast<MemoryEnds*>(context);
    const size_t count = size < ends.size - ends.at ? size : ends.size - ends.at;
    if (count > 0) std::memcpy(into, ends.data + ends.at, count);
    ends.at += count;
    return count;
}

size_t WriteMemory(void* context, const uint8_t* bytes, size_t size) {
    auto& ends = *static_cast<MemoryEnds*>(context);
    ends.received += size;
    ends.hash = AddToHash(ends.hash, bytes, size);
    return size;
}

bool PollMemory(void* context) {
    auto& ends = *static_cast<MemoryEnds*>(context);
    ++ends.polls;
    return stop_at_poll != 0 && ends.polls >= stop_at_poll;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t unpacked = fuzz::TakeU32(data, size);
    if (size == 0) return 0;
    const uint8_t flags = *data++;
    --size;
    unpacked = fuzz::BoundUnpackedSize(unpacked, size);
    stop_at_poll = flags & 0x0F;
    const uint32_t stored = static_cast<uint32_t>(size) + ((flags & 0x10) ? 5000u : 0u);

    // fmemopen cannot open an empty buffer; an empty stream is a file that ends at once.
    static uint8_t empty_stream = 0;
    FILE* package =
        fmemopen(size ? const_cast<uint8_t*>(data) : &empty_stream, size ? size : 1, "rb");
    if (package == nullptr) return 0;
    if (size == 0) std::fgetc(package);
    cookie_io_functions_t counting{nullptr, CountWrite, nullptr, nullptr};
    FILE* destination = fopencookie(nullptr, "wb", counting);
    if (destination == nullptr) {
        std::fclose(package);
        return 0;
    }
    // Unbuffered, so every fwrite of the sink arrives as one write call.
    std::setvbuf(destination, nullptr, _IONBF, 0);
    bytes_received = write_calls = received_hash = 0;
    polls = 0;
    stopped = false;

    ByteSource(nullptr, 0);
    WritePtr(nullptr, 0, 0);
    const int32_t produced = LzhDecoder(package, destination, unpacked, stored, Poll);
    std::fclose(destination);
    std::fclose(package);

    MemoryEnds memory{data, size, 0, 0, 0, 0};
    const auto state = std::make_unique<DecoderState>();
    const int32_t produced_on_own_state =
        LzhDecoder(*state, {ReadMemory, WriteMemory, PollMemory, &memory}, unpacked, stored);
    if (produced_on_own_state != produced || memory.received != bytes_received ||
        memory.hash != received_hash || memory.polls != polls)
        std::abort();

    if (unpacked >= 0x80000000u || unpacked == 0) {
        if (produced != 0 || bytes_received != 0) std::abort();
        return 0;
    }
    if (bytes_received > unpacked) std::abort();
    if (stopped) {
        // Whole blocks, or all of it when the symbol before the stop completed the member.
        if ((bytes_received % kSinkBlockSize != 0 && bytes_received != unpacked) ||
            bytes_received > static_cast<uint64_t>(produced))
            std::abort();
    } else {
        // Complete: every byte arrived, in full blocks and one shorter last write; a last
        // match may overrun the size by at most 29 bytes.
        if (bytes_received != unpacked || produced < static_cast<int32_t>(unpacked) ||
            produced > static_cast<int32_t>(unpacked) + kMaxMatch - 1)
            std::abort();
        if (write_calls != (unpacked + kSinkBlockSize - 1) / kSinkBlockSize) std::abort();
    }
    return 0;
}
