#include "frontend/title_gradient.h"

float TitleBandStep(int32_t client_height) {
    return static_cast<float>(client_height) * (1.0f / 256.0f);
}

BandRows TitleBandRows(int32_t band, float step) {
    // Each product is rounded to single precision before it is truncated, as the step is.
    const float top = static_cast<float>(band) * step;
    const float bottom = static_cast<float>(band + 1) * step;
    return BandRows{static_cast<int32_t>(top), static_cast<int32_t>(bottom)};
}

uint32_t TitleBandColor(uint32_t top_color, uint32_t bottom_color, int32_t band) {
    uint32_t color = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int32_t top = static_cast<int32_t>((top_color >> shift) & 0xFF);
        const int32_t bottom = static_cast<int32_t>((bottom_color >> shift) & 0xFF);
        const int32_t channel = top + ((bottom - top) * band) / kTitleBandCount;
        color |= static_cast<uint32_t>(channel) << shift;
    }
    return color;
}
