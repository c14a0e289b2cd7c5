#include "decode/lzh_decoder.h"

#include <cstring>

namespace {

// The bit input of one member. The next bit is the most significant bit of `buffer`; at
// most 16 bits are held, as a 16-bit register would hold them, and a byte is taken as soon
// as 8 or fewer are left, so the byte source sees exactly the request pattern of that
// register. A local copy of the state's fields, so that they stay in registers.
struct BitInput {
    DecoderState& state;
    uint32_t remaining; // stored bytes not yet taken
    uint32_t buffer;    // left-aligned in 32 bits
    unsigned count;     // valid bits in buffer, 0 to 16
};

inline void TopUp(BitInput& in) {
    while (in.count <= 8) {
        uint32_t byte = 0;
        // Past the stored bytes the stream reads as zeros, without asking the source.
        if (in.remaining != 0) {
            byte = static_cast<uint32_t>(ByteSource(in.state.source, in.state.ends, in.remaining));
            --in.remaining;
        }
        in.buffer |= byte << (24 - in.count);
        in.count += 8;
    }
}

inline unsigned ReadBit(BitInput& in) {
    TopUp(in);
    const unsigned bit = in.buffer >> 31;
    in.buffer <<= 1;
    --in.count;
    return bit;
}

inline unsigned ReadByte(BitInput& in) {
    TopUp(in);
    const unsigned byte = in.buffer >> 24;
    in.buffer <<= 8;
    in.count -= 8;
    return byte;
}

// Walks from the root to a leaf, one bit per level, then counts the symbol.
inline int DecodeSymbol(AdaptiveModel& model, BitInput& in) {
    unsigned node = model.Child[kRootNode];
    while (node < kLeafBase)
        node = model.Child[node + ReadBit(in)];
    const int symbol = static_cast<int>(node - kLeafBase);
    UpdateModel(model, symbol);
    return symbol;
}

// The first byte holds the prefix code of the upper six bits and the first 8 - n of the
// lower six; n - 2 more bits complete them.
inline unsigned DecodeOffset(BitInput& in) {
    unsigned b = ReadByte(in);
    const unsigned high = OffsetHigh[b];
    for (unsigned extra = OffsetCodeLength[b] - 2u; extra != 0; --extra)
        b = 2 * b + ReadBit(in);
    return high * 64 + (b & 63);
}

} // namespace

int32_t LzhDecoder(DecoderState& state, const DecoderEnds& ends, uint32_t unpacked_size,
                   uint32_t stored_size) {
    state.ends = ends;
    state.next_poll_mark = 0;
    state.total = unpacked_size;
    if (unpacked_size == 0) return 0;

    ResetModel(state.model);
    std::memset(state.ring, ' ', kInitialFill);
    // Never written by the stream before it has restored them; cleared so that a stream
    // reading them anyway gives the same bytes whatever member came before.
    std::memset(state.ring + kInitialFill, 0, kRingSize - kInitialFill);

    // Only the values of the inner loops are kept in registers; the ends, the size and the poll
    // mark, wanted once a block or a symbol, are read from the state, all of it at fixed
    // distances from one register. The ring is named as the state's field, never through a
    // pointer of its own: a byte stored through a plain pointer could be any field, and the
    // sink's counts would be read again after every byte.
    BitInput in{state, stored_size, 0, 0};
    // A signed count: a size of 2^31 or more is negative and restores nothing.
    const int32_t limit = static_cast<int32_t>(unpacked_size);
    unsigned write_position = kInitialFill;
    // 64-bit counts: a last match may carry the output up to 29 bytes past a size just
    // below 2^31, which a 32-bit count could not hold.
    int64_t produced = 0;

    while (produced < limit) {
        const int symbol = DecodeSymbol(state.model, in);
        if (symbol < 256) {
            WritePtr(state.sink, state.ends, symbol, state.total);
            state.ring[write_position] = static_cast<uint8_t>(symbol);
            write_position = (write_position + 1) & (kRingSize - 1);
            ++produced;
        } else {
            const unsigned offset = DecodeOffset(in);
            const int length = symbol - 253;
            unsigned copy_position = (write_position - offset - 1) & (kRingSize - 1);
            for (int k = 0; k < length; ++k) {
                const uint8_t byte = state.ring[copy_position];
                WritePtr(state.sink, state.ends, byte, state.total);
                state.ring[write_position] = byte;
                copy_position = (copy_position + 1) & (kRingSize - 1);
                write_position = (write_position + 1) & (kRingSize - 1);
            }
            produced += length;
        }
        if (produced > state.next_poll_mark) {
            if (state.ends.poll != nullptr && state.ends.poll(state.ends.context)) break;
            state.next_poll_mark += kPollInterval;
        }
    }

    state.bit_buffer = in.buffer;
    state.bit_count = in.count;
    state.remaining = in.remaining;
    state.write_position = write_position;
    return produced > INT32_MAX ? INT32_MAX : static_cast<int32_t>(produced);
}
