// A small PNG writer for pictures drawn without a graphics library that writes PNG itself
// (the Windows build's title preview).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// `rgb` holds `height` rows of `width` pixels, three bytes each (red, green, blue), top row
// first. The picture is stored whole, 8 bits per channel; rows are coded as differences from
// their left neighbours and runs of equal bytes as matches, which keeps pictures made of
// flat colour (a gradient of bands) small.
std::vector<uint8_t> EncodePng(int width, int height, std::span<const uint8_t> rgb);
