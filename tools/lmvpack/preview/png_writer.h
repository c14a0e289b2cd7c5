// PNG files of pictures drawn without a graphics library that writes PNG itself (the Windows
// build's title preview), written by stb's image writer (stb_image_write.h, Debian's libstb-dev):
// a header-only library, so the static Windows build takes it in as it is.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// `rgb` holds `height` rows of `width` pixels, three bytes each (red, green, blue), top row
// first. The picture is stored whole, 8 bits per channel, each row with the filter that
// suits it, so that pictures made of flat colour (a gradient of bands) stay small. Throws
// std::invalid_argument when the pixels do not match the size.
std::vector<uint8_t> EncodePng(int width, int height, std::span<const uint8_t> rgb);
