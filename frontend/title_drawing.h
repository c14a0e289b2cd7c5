// The title screen's picture on any device context: the window's while the installer runs,
// and a bitmap's when lmvpack.exe previews the title, so that the preview is the installer's
// own painting.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>

// Gradient bands, the two-pixel white frame and "<name> Screen Saver" with its shadow, into
// `area` of `dc`. `name` is in the ANSI code page, trailing blanks included. The text is
// drawn without antialiasing whatever the system's font smoothing, which is left alone.
void DrawTitleScreen(HDC dc, RECT area, const char* name, uint32_t top_color,
                     uint32_t bottom_color);
#endif
