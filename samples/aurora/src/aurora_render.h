// One frame of the aurora, computed into memory; the Win32 window only copies it to the screen
// (StretchDIBits), scaled up from a small frame, which keeps the animation smooth on any
// screen.
//
// The picture: the night sky as a vertical gradient of the palette's sky colour with a few
// twinkling stars, and one curtain of light per curtain colour: a wavy lower edge that drifts
// sideways, bright at that edge and fading upward, broken into slowly moving rays.
#pragma once

#include "aurora_palette.h"

#include <cstdint>

// Pixels as 0x00RRGGBB, rows top first (a top-down 32-bit DIB), `width` × `height` of them;
// the same time gives the same frame.
void RenderAuroraFrame(const AuroraPalette& palette, uint32_t milliseconds, int width, int height,
                       uint32_t* pixels);
