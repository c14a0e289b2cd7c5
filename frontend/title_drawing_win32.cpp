// The title screen: a 256-band gradient, a two-pixel white frame and the name in large Arial
// with a black shadow. Everything drawn is created and released within the one drawing.
// lmvpack's preview on Linux (tools/lmvpack/preview/title_preview.cpp) draws the same frame
// and text in cairo: change the two together.
#include "frontend/prompt_texts.h"
#include "frontend/title_drawing.h"
#include "frontend/title_gradient.h"
#include "platform/fixed_text.h"

namespace {

void PaintBands(HDC dc, LONG width, LONG height, uint32_t top_color, uint32_t bottom_color) {
    const float step = TitleBandStep(height);
    for (int32_t band = 0; band < kTitleBandCount; ++band) {
        const BandRows rows = TitleBandRows(band, step);
        RECT rect = {0, rows.top, width + 1, rows.bottom};
        HBRUSH brush = CreateSolidBrush(TitleBandColor(top_color, bottom_color, band));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }
}

} // namespace

void DrawTitleScreen(HDC dc, RECT area, const char* name, uint32_t top_color,
                     uint32_t bottom_color) {
    PaintBands(dc, area.right, area.bottom, top_color, bottom_color);

    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FrameRect(dc, &area, white);
    InflateRect(&area, -1, -1);
    FrameRect(dc, &area, white);

    char title[kMessageSize] = "";
    AppendText(title, sizeof title, name);
    AppendText(title, sizeof title, " Screen Saver");

    HFONT font = CreateFontA(-MulDiv(48, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_DONTCARE,
                             FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, 0, "Arial");
    HGDIOBJ previous_font = SelectObject(dc, font);
    const int previous_mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previous_color = SetTextColor(dc, RGB(0, 0, 0));

    RECT text_rect = area;
    text_rect.left += GetDeviceCaps(dc, LOGPIXELSX) / 3;
    text_rect.top += GetDeviceCaps(dc, LOGPIXELSY) / 4;
    DrawTextA(dc, title, -1, &text_rect, DT_WORDBREAK | DT_NOPREFIX);
    OffsetRect(&text_rect, -2, -2);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextA(dc, title, -1, &text_rect, DT_WORDBREAK | DT_NOPREFIX);

    SetTextColor(dc, previous_color);
    SetBkMode(dc, previous_mode);
    SelectObject(dc, previous_font);
    DeleteObject(font);
}
