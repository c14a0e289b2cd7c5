// The arithmetic of the title's gradient: 256 horizontal bands from TopColor toward
// BottomColor. Kept apart from the drawing so the rows and colours can be checked natively,
// and so that both pictures of the title use it: the installer's (title_drawing_win32.cpp)
// and lmvpack's preview on Linux (tools/lmvpack/preview/title_preview.cpp), which repeats the
// installer's frame and text rules in cairo. A change to the picture goes into both.
#pragma once

#include <cstdint>

constexpr int32_t kTitleBandCount = 256;

// The rows of one band: top inclusive, bottom exclusive. Empty (top == bottom) when the
// window is lower than 256 pixels.
struct BandRows {
    int32_t top;
    int32_t bottom;
};

// The band step: the client height times 1/256 in single precision.
float TitleBandStep(int32_t client_height);

// Band i runs from i * step to (i + 1) * step, each truncated toward zero.
BandRows TitleBandRows(int32_t band, float step);

// Windows colour values (0x00BBGGRR). Each channel is T + ((B - T) * i) / 256 with signed
// division truncating toward zero: band 0 is TopColor, band 255 stops one step short of
// BottomColor, and the top byte of the result is 0.
uint32_t TitleBandColor(uint32_t top_color, uint32_t bottom_color, int32_t band);
