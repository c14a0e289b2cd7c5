// The authoring tool's encoder against the installer's decoder: whatever the input and the
// level, the stream the tool writes must restore the input byte for byte. A mismatch is a
// screen saver that installs damaged, so it counts as a crash.
//
// Input: u8 level (modulo 3), then the bytes to encode.
#include "tools/lmvpack/stream_codec.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr CompressionLevel kLevels[] = {
        CompressionLevel::Fast, CompressionLevel::Default, CompressionLevel::Best};
    const CompressionLevel level = kLevels[data[0] % 3];
    const std::span<const uint8_t> input(data + 1, size - 1);
    if (input.empty()) return 0; // an empty file is never a member
    const std::vector<uint8_t> stream = EncodeStream(input, level);
    const std::vector<uint8_t> restored = DecodeStream(stream, static_cast<uint32_t>(input.size()));
    if (restored.size() != input.size() ||
        std::memcmp(restored.data(), input.data(), input.size()) != 0)
        std::abort();
    return 0;
}
