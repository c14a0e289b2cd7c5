#include "aurora_render.h"

#include <cmath>

namespace {

struct Light {
    float red, green, blue;
};

uint8_t Channel(float value) {
    return static_cast<uint8_t>(value <= 0.0f ? 0.0f : value >= 255.0f ? 255.0f : value);
}

uint32_t Pixel(const Light& light) {
    return static_cast<uint32_t>(Channel(light.red)) << 16 |
           static_cast<uint32_t>(Channel(light.green)) << 8 | Channel(light.blue);
}

// A fixed scatter of stars: the same pixels in every frame, whatever the time.
uint32_t Scatter(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    return h ^ (h >> 15);
}

void PaintSky(const AuroraPalette& palette, float seconds, int width, int height,
              uint32_t* pixels) {
    for (int y = 0; y < height; ++y) {
        // Darker overhead, lighter toward the horizon.
        const float shade = 0.55f + 0.6f * static_cast<float>(y) / static_cast<float>(height);
        const Light row{palette.sky.red * shade, palette.sky.green * shade,
                        palette.sky.blue * shade};
        // One colour for the whole row; only a star costs more than a copy.
        const uint32_t sky = Pixel(row);
        const bool starry = y < height * 3 / 4;
        for (int x = 0; x < width; ++x) {
            const uint32_t scatter = Scatter(x, y);
            if (!starry || scatter % 211 != 0) {
                pixels[y * width + x] = sky;
                continue;
            }
            const float twinkle =
                110.0f + 70.0f * std::sin(seconds * 2.3f + static_cast<float>(scatter % 97));
            pixels[y * width + x] =
                Pixel(Light{row.red + twinkle, row.green + twinkle, row.blue + twinkle});
        }
    }
}

void AddCurtain(const AuroraColour& colour, int index, int count, float seconds, int width,
                int height, uint32_t* pixels) {
    const float phase = 1.7f * static_cast<float>(index);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    for (int x = 0; x < width; ++x) {
        const float across = static_cast<float>(x) / w;
        const float edge = h * (0.66f + 0.09f * std::sin(across * 6.0f + seconds * 0.35f + phase) +
                                0.05f * std::sin(across * 17.0f - seconds * 0.8f + 2.0f * phase) -
                                0.08f * static_cast<float>(index) / static_cast<float>(count));
        const float reach = h * (0.30f + 0.08f * std::sin(across * 4.0f - seconds * 0.25f + phase));
        const float rays = 0.55f + 0.45f *
                                       std::sin(across * 60.0f + seconds * 1.3f + 3.0f * phase) *
                                       std::sin(across * 23.0f - seconds * 0.7f);
        const float strength =
            0.85f * rays * (0.65f + 0.35f * std::sin(seconds * 0.5f + phase + across * 3.0f));
        const float top = edge - reach;
        const int first = top < 0.0f ? 0 : static_cast<int>(top);
        const int last =
            static_cast<int>(edge) + 3 < height ? static_cast<int>(edge) + 3 : height - 1;
        for (int y = first; y <= last; ++y) {
            const float fy = static_cast<float>(y);
            float glow;
            if (fy <= edge) {
                const float rise = (fy - top) / reach; // 0 at the top of the curtain, 1 at its edge
                glow = strength * rise * rise;
            } else {
                glow = strength * (1.0f - (fy - edge) / 3.0f); // a soft lower edge
            }
            if (glow <= 0.0f) continue;
            uint32_t& pixel = pixels[y * width + x];
            const Light light{(pixel >> 16 & 0xFF) + colour.red * glow,
                              (pixel >> 8 & 0xFF) + colour.green * glow,
                              (pixel & 0xFF) + colour.blue * glow};
            pixel = Pixel(light);
        }
    }
}

} // namespace

void RenderAuroraFrame(const AuroraPalette& palette, uint32_t milliseconds, int width, int height,
                       uint32_t* pixels) {
    if (width <= 0 || height <= 0) return;
    const float seconds = static_cast<float>(milliseconds % 3600000u) / 1000.0f;
    PaintSky(palette, seconds, width, height, pixels);
    const int count = static_cast<int>(palette.curtain_count);
    for (int i = 0; i < count; ++i)
        AddCurtain(palette.curtains[i], i, count, seconds, width, height, pixels);
}
