// WM_PAINT of the title window: the title screen with font smoothing switched off.
#include "frontend/title_drawing.h"
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

} // namespace

void PaintTitle(HWND window) {
    const bool smoothing_switched_off = SwitchFontSmoothingOff();

    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    DrawTitleScreen(dc, client, ScreenSaverName, TopColor, BottomColor, DEFAULT_QUALITY);
    EndPaint(window, &paint);

    if (smoothing_switched_off)
        SystemParametersInfoA(SPI_SETFONTSMOOTHING, TRUE, nullptr,
                              SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}
