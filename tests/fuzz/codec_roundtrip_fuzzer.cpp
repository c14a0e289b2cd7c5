// The authoring tool's encoder against the installer's decoder: whatever the input and the
// level, the stream the tool writes must restore the input byte for byte. A mismatch is a
// screen saver that installs damaged, so it counts as a crash.
//
// Input: u8 level (modulo 3), then the bytes to encode, of which the levels take the first
// 4 KiB, and the best level, which follows every chain through the whole window and prices
// every position (some 1 us a byte under the sanitizers), the first 1 KiB, so that a run stays
// fast. Matches reach back to the spaces the window starts with, so even short inputs meet
// the window's far end.
#include "tools/lmvpack/codec/stream_codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr CompressionLevel kLevels[] = {
        CompressionLevel::Fast, CompressionLevel::Default, CompressionLevel::Best};
    const CompressionLevel level = kLevels[data[0] % 3];
    const size_t most = level == CompressionLevel::Best ? 1024 : 4096;
    const size_t length = std::min(size - 1, most);
    const std::span<const uint8_t> input(data + 1, length);
    if (input.empty()) return 0; // an empty file is never a member
    const std::vector<uint8_t> stream = EncodeStream(input, level);
    const std::vector<uint8_t> restored = DecodeStream(stream, static_cast<uint32_t>(input.size()));
    if (restored.size() != input.size() ||
        std::memcmp(restored.data(), input.data(), input.size()) != 0)
        std::abort();
    return 0;
}
