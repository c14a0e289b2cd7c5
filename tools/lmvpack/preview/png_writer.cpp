#include "tools/lmvpack/preview/png_writer.h"

#include <new>
#include <stdexcept>

// stb's PNG writer, compiled here and nowhere else, its functions private to this file. It
// writes to memory only (no stdio of its own), and its deflate is its own, so lmvpack.exe needs
// no compression library beside it.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {

struct Output {
    std::vector<uint8_t> png;
    bool failed = false;
};

void Append(void* context, void* data, int size) {
    auto* output = static_cast<Output*>(context);
    try {
        const auto* bytes = static_cast<const uint8_t*>(data);
        output->png.insert(output->png.end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        output->failed = true;
    }
}

} // namespace

std::vector<uint8_t> EncodePng(int width, int height, std::span<const uint8_t> rgb) {
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
        throw std::invalid_argument("EncodePng: the pixels do not match the size");
    Output output;
    // Nothing but memory can fail: the encoder reports that as 0, the callback by its flag.
    if (!stbi_write_png_to_func(Append, &output, width, height, 3, rgb.data(), width * 3) ||
        output.failed)
        throw std::bad_alloc();
    return std::move(output.png);
}
