// The title screen's picture on any device context: the window's while the installer runs,
// and a bitmap's when lmvpack.exe previews the title, so that the preview is the installer's
// own painting.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>

// Gradient bands, the two-pixel white frame and "<name> Screen Saver" with its shadow, into
// `area` of `dc`. `name` is in the ANSI code page, trailing blanks included. `font_quality`
// is the quality asked of the font: the installer asks the default and switches the system's
// font smoothing off meanwhile; a preview, which must not touch system settings, asks for
// unsmoothed text instead.
void DrawTitleScreen(HDC dc, RECT area, const char* name, uint32_t top_color, uint32_t bottom_color,
                     DWORD font_quality);
#endif
