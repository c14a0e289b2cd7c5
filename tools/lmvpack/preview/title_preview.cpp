#include "tools/lmvpack/preview/title_preview.h"

#include "tools/lmvpack/support/tool_error.h"

#ifdef LMV_HAVE_CAIRO
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#endif

#include <memory>

#ifdef LMV_HAVE_CAIRO
namespace {

struct CairoDeleter {
    void operator()(cairo_t* cairo) const { cairo_destroy(cairo); }
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

void SetColor(cairo_t* cairo, uint32_t color) {
    cairo_set_source_rgb(cairo, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                         ((color >> 16) & 0xFF) / 255.0);
}

void FillRect(cairo_t* cairo, int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top) return;
    cairo_rectangle(cairo, left, top, right - left, bottom - top);
    cairo_fill(cairo);
}

// One-pixel outline of the rectangle, inside it, as FrameRect draws.
void FrameRect(cairo_t* cairo, int left, int top, int right, int bottom) {
    FillRect(cairo, left, top, right, top + 1);
    FillRect(cairo, left, bottom - 1, right, bottom);
    FillRect(cairo, left, top, left + 1, bottom);
    FillRect(cairo, right - 1, top, right, bottom);
}

double TextWidth(cairo_t* cairo, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cairo, text.c_str(), &extents);
    return extents.x_advance;
}

// Breaks between words, keeping the blanks inside a line, so that a line never grows wider
// than `width` unless it holds a single word that is wider by itself.
std::vector<std::string> WrapWords(cairo_t* cairo, const std::string& text, double width) {
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        const size_t word_start = text.find_first_not_of(' ', at);
        const std::string blanks =
            text.substr(at, (word_start == std::string::npos ? text.size() : word_start) - at);
        if (word_start == std::string::npos) {
            line += blanks;
            break;
        }
        size_t word_end = text.find(' ', word_start);
        if (word_end == std::string::npos) word_end = text.size();
        const std::string word = text.substr(word_start, word_end - word_start);
        if (!line.empty() && TextWidth(cairo, line + blanks + word) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line += blanks + word;
        }
        at = word_end;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
}

void DrawTitle(cairo_t* cairo, const std::string& title, int left, int top, int right, int bottom) {
    cairo_save(cairo);
    cairo_rectangle(cairo, left, top, right - left, bottom - top);
    cairo_clip(cairo);
    cairo_font_extents_t font;
    cairo_font_extents(cairo, &font);
    const double line_height = font.ascent + font.descent;
    double baseline = top + font.ascent;
    for (const std::string& line : WrapWords(cairo, title, right - left)) {
        cairo_move_to(cairo, left, baseline);
        cairo_show_text(cairo, line.c_str());
        baseline += line_height;
    }
    cairo_restore(cairo);
}

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
    auto* png = static_cast<std::vector<uint8_t>*>(closure);
    png->insert(png->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

std::vector<uint8_t> PaintTitlePng(const std::string& name, uint32_t top_color,
                                   uint32_t bottom_color, int width, int height) {
    std::unique_ptr<cairo_surface_t, CairoDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw BuildError("cannot make a picture of " + std::to_string(width) + "x" +
                         std::to_string(height) + " pixels");
    std::unique_ptr<cairo_t, CairoDeleter> owner(cairo_create(surface.get()));
    cairo_t* cairo = owner.get();
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);

    // The gradient is the installer's own code; the frame and the text below repeat
    // DrawTitleScreen (frontend/title_drawing_win32.cpp), which cannot run here: change the
    // two together.
    const float step = TitleBandStep(height);
    for (int32_t band = 0; band < kTitleBandCount; ++band) {
        const BandRows rows = TitleBandRows(band, step);
        SetColor(cairo, TitleBandColor(top_color, bottom_color, band));
        FillRect(cairo, 0, rows.top, width + 1, rows.bottom);
    }
    SetColor(cairo, 0xFFFFFF);
    FrameRect(cairo, 0, 0, width, height);
    FrameRect(cairo, 1, 1, width - 1, height - 1);

    // A character height of 48 points; Windows' Arial, where the preview has DejaVu Sans.
    cairo_select_font_face(cairo, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, 48.0 * kPreviewDpi / 72);
    std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> options(
        cairo_font_options_create(), &cairo_font_options_destroy);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cairo, options.get());

    const std::string title = name + " Screen Saver";
    const int left = 1 + kPreviewDpi / 3, top = 1 + kPreviewDpi / 4;
    SetColor(cairo, 0x000000);
    DrawTitle(cairo, title, left, top, width - 1, height - 1);
    SetColor(cairo, 0xFFFFFF);
    DrawTitle(cairo, title, left - 2, top - 2, width - 3, height - 3);

    cairo_surface_flush(surface.get());
    std::vector<uint8_t> png;
    if (cairo_surface_write_to_png_stream(surface.get(), AppendPng, &png) != CAIRO_STATUS_SUCCESS)
        throw BuildError("cannot encode the picture as PNG");
    return png;
}
} // namespace

std::vector<uint8_t> RenderTitlePng(const std::string& name, uint32_t top_color,
                                    uint32_t bottom_color, int width, int height) {
    std::vector<uint8_t> png = PaintTitlePng(name, top_color, bottom_color, width, height);
    // A preview is drawn once per run: hand back the font caches that cairo and fontconfig
    // keep for the life of the process, so that leak checkers see only our own allocations.
    // Both set themselves up again if another picture is drawn.
    cairo_debug_reset_static_data();
    FcFini();
    return png;
}
#elif !defined(_WIN32)
std::vector<uint8_t> RenderTitlePng(const std::string&, uint32_t, uint32_t, int, int) {
    throw BuildError("this lmvpack was built without cairo, so it cannot draw previews");
}
#endif
