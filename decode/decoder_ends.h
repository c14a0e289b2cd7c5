// DecoderEnds: what the decoder reads from and writes to, and whom it asks whether to stop, as
// plain calls that the caller supplies. The decoder knows nothing of files: the installer hands
// it the runtime's streams (decode/installer_decoder.cpp), the authoring tool its own readers
// and writers, a piece at a time and without a stream in between.
//
// All three get `context` back unchanged. `read` fills up to `size` bytes and returns how many
// it filled: fewer only where the input ends or cannot be read, which the byte source treats
// alike. `write` takes `size` bytes and returns how many it took: fewer means the destination
// is full, and the sink writes nothing more of the member. `poll` may be null (never stop); it
// answers true to stop the decoder at once.
#pragma once

#include <cstddef>
#include <cstdint>

struct DecoderEnds {
    size_t (*read)(void* context, uint8_t* into, size_t size);
    size_t (*write)(void* context, const uint8_t* bytes, size_t size);
    bool (*poll)(void* context);
    void* context;
};
