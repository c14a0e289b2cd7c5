// The Windows build's title preview: the installer's own drawing (DrawTitleScreen) into a
// bitmap, written as PNG.
#include "frontend/title_drawing.h"
#include "tools/lmvpack/preview/png_writer.h"
#include "tools/lmvpack/preview/title_preview.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/tool_error.h"

#include <windows.h>

namespace {

// Releases what the drawing took from the system, on every way out.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    ~Canvas() {
        if (previous) SelectObject(dc, previous);
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
    }
};

} // namespace

std::vector<uint8_t> RenderTitlePng(const std::string& name, uint32_t top_color,
                                    uint32_t bottom_color, int width, int height) {
    const AnsiConversion ansi = Utf8ToWindows1252(name);
    if (!ansi.problem.empty()) throw BuildError("the name " + ansi.problem);

    Canvas canvas;
    canvas.dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    if (canvas.dc)
        canvas.bitmap = CreateDIBSection(canvas.dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!canvas.bitmap || !pixels)
        throw BuildError("cannot make a picture of " + std::to_string(width) + "x" +
                         std::to_string(height) + " pixels");
    canvas.previous = SelectObject(canvas.dc, canvas.bitmap);

    DrawTitleScreen(canvas.dc, RECT{0, 0, width, height}, ansi.text.c_str(), top_color,
                    bottom_color);
    GdiFlush();

    const auto* bgrx = static_cast<const uint8_t*>(pixels);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0, o = 0; o < rgb.size(); i += 4, o += 3) {
        rgb[o] = bgrx[i + 2];
        rgb[o + 1] = bgrx[i + 1];
        rgb[o + 2] = bgrx[i];
    }
    return EncodePng(width, height, rgb);
}
