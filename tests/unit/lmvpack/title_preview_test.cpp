// The preview paints the title as the installer does: band geometry and colours by the
// installer's arithmetic, checked on the formulas and on the pixels of the PNG.
#include "tools/lmvpack/preview/title_preview.h"

#include <gtest/gtest.h>

#ifdef LMV_HAVE_CAIRO
#include <cairo.h>
#endif

#include <cstring>
#include <vector>

namespace {

uint32_t Rgb(int red, int green, int blue) {
    return static_cast<uint32_t>(blue << 16 | green << 8 | red);
}

TEST(TitleBands, ColoursStartAtTheTopColourAndStopOneStepShortOfTheBottom) {
    EXPECT_EQ(TitleBandColor(Rgb(10, 20, 30), Rgb(200, 100, 0), 0), Rgb(10, 20, 30));
    EXPECT_EQ(TitleBandColor(Rgb(0, 0, 0), Rgb(255, 255, 255), 255), Rgb(254, 254, 254));
    EXPECT_EQ(TitleBandColor(Rgb(255, 255, 255), Rgb(0, 0, 0), 255), Rgb(1, 1, 1));
    // Division truncates toward zero, so a falling channel stays at the top value longer.
    EXPECT_EQ(TitleBandColor(Rgb(200, 200, 200), Rgb(100, 100, 100), 1), Rgb(200, 200, 200));
    EXPECT_EQ(TitleBandColor(Rgb(200, 0, 0), Rgb(100, 0, 0), 3), Rgb(199, 0, 0));
    // Channels run independently, and the unused top byte of a colour is ignored.
    EXPECT_EQ(TitleBandColor(0xFF0000FFu, 0x00FF0000u, 128), Rgb(128, 0, 127));
    for (int band = 0; band < 256; ++band)
        EXPECT_EQ(TitleBandColor(Rgb(9, 8, 7), Rgb(9, 8, 7), band), Rgb(9, 8, 7));
}

TEST(TitleBands, CoverEveryRowOnceAndEndAtTheBottom) {
    for (const int height : {1, 100, 255, 256, 257, 600, 768, 1080, 4000}) {
        int next_row = 0;
        for (int band = 0; band < 256; ++band) {
            const BandRows rows = TitleBandRows(band, TitleBandStep(height));
            EXPECT_EQ(rows.top, band * height / 256) << height << " band " << band;
            EXPECT_EQ(rows.top, next_row) << height << " band " << band;
            EXPECT_GE(rows.bottom, rows.top);
            next_row = rows.bottom;
        }
        EXPECT_EQ(next_row, height);
    }
}

#ifdef LMV_HAVE_CAIRO
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB as cairo stores RGB24

    uint32_t At(int x, int y) const {
        return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
    }
};

Picture DecodePng(const std::vector<uint8_t>& png) {
    struct Reader {
        const std::vector<uint8_t>* bytes;
        size_t at = 0;
    } reader{&png};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* r = static_cast<Reader*>(closure);
            if (r->at + length > r->bytes->size()) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, r->bytes->data() + r->at, length);
            r->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    Picture picture;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        picture.width = cairo_image_surface_get_width(surface);
        picture.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                uint32_t pixel;
                std::memcpy(&pixel, data + y * stride + 4 * x, 4);
                picture.pixels.push_back(pixel);
            }
    }
    cairo_surface_destroy(surface);
    return picture;
}

uint32_t AsPixel(uint32_t colorref) {
    return (colorref & 0xFF) << 16 | (colorref & 0xFF00) | (colorref >> 16 & 0xFF);
}

bool AnyPixel(const Picture& picture, int left, int top, int right, int bottom, uint32_t pixel) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (picture.At(x, y) == pixel) return true;
    return false;
}

TEST(TitlePreview, PaintsTheBandsFrameAndShadowedTitleByThePixel) {
    const uint32_t top = Rgb(200, 30, 0), bottom = Rgb(10, 230, 255);
    const int width = 640, height = 300; // not a multiple of 256: bands of one and two rows
    const Picture picture = DecodePng(RenderTitlePng("A", top, bottom, width, height));
    ASSERT_EQ(picture.width, width);
    ASSERT_EQ(picture.height, height);
    // Every row inside the frame, right of the short title, has its band's colour.
    for (int band = 0; band < 256; ++band) {
        const BandRows rows = TitleBandRows(band, TitleBandStep(height));
        for (int y = std::max(rows.top, 2); y < std::min(rows.bottom, height - 2); ++y) {
            EXPECT_EQ(picture.At(width - 3, y), AsPixel(TitleBandColor(top, bottom, band)))
                << "row " << y;
            EXPECT_EQ(picture.At(width / 2, y), AsPixel(TitleBandColor(top, bottom, band)))
                << "row " << y;
        }
    }
    // A white frame two pixels wide along every edge.
    for (int x = 0; x < width; ++x)
        for (const int y : {0, 1, height - 2, height - 1})
            ASSERT_EQ(picture.At(x, y), 0xFFFFFFu) << x << "," << y;
    for (int y = 0; y < height; ++y)
        for (const int x : {0, 1, width - 2, width - 1})
            ASSERT_EQ(picture.At(x, y), 0xFFFFFFu) << x << "," << y;
    // White text with a black shadow, starting near (31, 23) and (33, 25); nothing above or
    // left of the shadow's rectangle but the frame.
    EXPECT_TRUE(AnyPixel(picture, 31, 23, 400, 110, 0xFFFFFFu));
    EXPECT_TRUE(AnyPixel(picture, 33, 25, 400, 110, 0x000000u));
    EXPECT_FALSE(AnyPixel(picture, 2, 2, 31, height - 2, 0x000000u));
    EXPECT_FALSE(AnyPixel(picture, 2, 2, width - 2, 23, 0xFFFFFFu));
}

TEST(TitlePreview, WrapsALongNameBetweenWordsInsideTheTextRectangle) {
    const int width = 800, height = 400;
    const Picture one_line = DecodePng(RenderTitlePng("Hi", Rgb(0, 0, 255), 0, width, height));
    const Picture wrapped = DecodePng(RenderTitlePng(
        "Northern Lights Over The Frozen Lakes Of Lapland", Rgb(0, 0, 255), 0, width, height));
    ASSERT_EQ(wrapped.width, width);
    // The short title stays on one line; the long one continues below it.
    EXPECT_FALSE(AnyPixel(one_line, 2, 110, width - 2, height - 2, 0xFFFFFFu));
    EXPECT_TRUE(AnyPixel(wrapped, 2, 110, width - 2, height - 2, 0xFFFFFFu));
    // No text beyond the white text's rectangle (right edge W - 3) or the shadow's (W - 1).
    EXPECT_FALSE(AnyPixel(wrapped, width - 3, 2, width - 2, height - 2, 0xFFFFFFu));
}
#endif

} // namespace
