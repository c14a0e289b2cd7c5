// WM_PAINT of the title window. The title's hard shadow edge wants unsmoothed glyphs; the
// font asks for them itself, so the user's system-wide font smoothing is never touched (a
// switch of it would be saved to the user's profile and broadcast to every window on every
// repaint, and a killed installer would leave it off for good).
#include "frontend/title_drawing.h"
#include "frontend/title_window.h"
#include "install/installer_state.h"

void PaintTitle(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    DrawTitleScreen(dc, client, ScreenSaverName, TopColor, BottomColor);
    EndPaint(window, &paint);
}
