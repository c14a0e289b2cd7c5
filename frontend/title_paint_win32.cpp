// The title screen: a 256-band gradient, a two-pixel white frame and the name in large Arial
// with a black shadow. Everything drawn is created and released within the one paint.
#include "frontend/prompt_texts.h"
#include "frontend/title_gradient.h"
#include "frontend/title_window.h"
#include "install/installer_state.h"

namespace {

// Font smoothing is system-wide and blurs the hard shadow edge, so it is switched off for the
// paint. True when it was switched off here and must be switched on again.
bool SwitchFontSmoothingOff() {
    BOOL smoothing = FALSE;
    if (!SystemParametersInfoA(SPI_GETFONTSMOOTHING, 0, &smoothing, 0)) smoothing = FALSE;
    if (!smoothing) return false;
    return SystemParametersInfoA(SPI_SETFONTSMOOTHING, FALSE, nullptr,
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != 0;
}

void PaintBands(HDC dc, LONG width, LONG height) {
    const float step = TitleBandStep(height);
    for (int32_t band = 0; band < kTitleBandCount; ++band) {
        const BandRows rows = TitleBandRows(band, step);
        RECT rect = {0, rows.top, width + 1, rows.bottom};
        HBRUSH brush = CreateSolidBrush(TitleBandColor(TopColor, BottomColor, band));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }
}

} // namespace

void PaintTitle(HWND window) {
    const bool smoothing_switched_off = SwitchFontSmoothingOff();

    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);

    PaintBands(dc, client.right, client.bottom);

    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FrameRect(dc, &client, white);
    InflateRect(&client, -1, -1);
    FrameRect(dc, &client, white);

    char title[kMessageSize] = "";
    AppendText(title, sizeof title, ScreenSaverName);
    AppendText(title, sizeof title, " Screen Saver");

    HFONT font = CreateFontA(-MulDiv(48, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_DONTCARE,
                             FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 0, "Arial");
    HGDIOBJ previous_font = SelectObject(dc, font);
    const int previous_mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previous_color = SetTextColor(dc, RGB(0, 0, 0));

    RECT text_rect = client;
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
    EndPaint(window, &paint);

    if (smoothing_switched_off)
        SystemParametersInfoA(SPI_SETFONTSMOOTHING, TRUE, nullptr,
                              SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}
