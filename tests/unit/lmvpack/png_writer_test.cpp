// The PNG writer's pictures read back pixel for pixel by an independent decoder (cairo's,
// through libpng and zlib), whatever runs, repeats and colours they hold.
#include "tools/lmvpack/preview/png_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#ifdef LMV_HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

#ifdef LMV_HAVE_CAIRO
struct PngReader {
    const std::vector<uint8_t>* png;
    size_t at = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->at + length > reader->png->size()) return CAIRO_STATUS_READ_ERROR;
    std::copy_n(reader->png->begin() + static_cast<long>(reader->at), length, data);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

// The picture as RGB bytes, or empty when the decoder refuses the file.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& png, int& width, int& height) {
    PngReader reader{&png};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadPng, &reader);
    std::vector<uint8_t> rgb;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        width = cairo_image_surface_get_width(surface);
        height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint32_t pixel;
                std::memcpy(&pixel, data + y * stride + x * 4, 4);
                rgb.insert(rgb.end(),
                           {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                            static_cast<uint8_t>(pixel)});
            }
    }
    cairo_surface_destroy(surface);
    return rgb;
}

std::vector<uint8_t> Bands(int width, int height) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool frame = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
            rgb.insert(rgb.end(), {static_cast<uint8_t>(frame ? 255 : y / 3),
                                   static_cast<uint8_t>(frame ? 255 : 40),
                                   static_cast<uint8_t>(frame ? 255 : 200 - y / 3)});
        }
    return rgb;
}

TEST(PngWriter, AnIndependentDecoderReadsBackEveryPixel) {
    std::mt19937 random(5);
    std::vector<uint8_t> noise(97 * 13 * 3);
    for (uint8_t& byte : noise)
        byte = static_cast<uint8_t>(random());
    // Runs longer than one match can copy (258 bytes), runs that end at a row's end, a single
    // pixel, noise with no runs at all, and flat bands under a frame.
    const struct {
        int width, height;
        std::vector<uint8_t> rgb;
    } pictures[] = {{1, 1, {12, 34, 56}},
                    {200, 3, std::vector<uint8_t>(200 * 3 * 3, 0x7F)},
                    {97, 13, noise},
                    {640, 480, Bands(640, 480)}};
    for (const auto& picture : pictures) {
        int width = 0, height = 0;
        const std::vector<uint8_t> png = EncodePng(picture.width, picture.height, picture.rgb);
        EXPECT_EQ(Decode(png, width, height), picture.rgb)
            << picture.width << "x" << picture.height;
        EXPECT_EQ(width, picture.width);
        EXPECT_EQ(height, picture.height);
    }
    // Bands cost a few bytes a row, not three a pixel.
    EXPECT_LT(EncodePng(640, 480, Bands(640, 480)).size(), 640u * 480 / 20);
}
#endif

} // namespace
