// A picture of the installer's title screen, painted by the same rules as the installer:
// 256 horizontal bands from the top colour toward the bottom colour, a two-pixel white frame,
// and "<name> Screen Saver" in a large sans-serif face, white over a black shadow two pixels
// to the right and below, broken between words to fit. Text is drawn without smoothing, as
// the installer asks of its font.
//
// On Linux cairo paints it by those rules; the Windows build runs the installer's own
// drawing code into a bitmap (title_preview_win32.cpp).
#pragma once

#include "frontend/title_gradient.h"

#include <cstdint>
#include <string>
#include <vector>

// The device resolution the preview assumes, that of a standard Windows display.
constexpr int kPreviewDpi = 96;

// The title painted at `width` x `height` as PNG bytes. `name` is UTF-8, trailing blanks
// included (the title shows the name as stored). Throws BuildError when no picture can be
// made (a Linux build without cairo, or the drawing fails).
std::vector<uint8_t> RenderTitlePng(const std::string& name, uint32_t top_color,
                                    uint32_t bottom_color, int width, int height);
