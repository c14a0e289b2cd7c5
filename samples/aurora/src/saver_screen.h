// Where the full-screen window goes and how much drawing it does, worked out from what the
// system reports, so that both can be checked without a screen.
//
// The window covers the virtual screen: the rectangle around every monitor, which may start
// left of or above the primary monitor (negative coordinates) and hold monitors of different
// sizes. The program is per-monitor DPI aware, so these are physical pixels on every monitor;
// a program that is not gets scaled-down figures on high-DPI set-ups and may leave part of a
// monitor uncovered.
//
// Every frame is computed small and stretched over the window, and the stretch is what costs
// on a large screen: its every pixel is written, 25 times a second, by the processor (GDI draws
// windows in memory). Above the pixels of a 1920x1200 screen the frame rate falls so that no
// more pixels than that are written per second, down to 12.5 frames a second; the aurora moves
// slowly, and the frames are blocky anyway.
#pragma once

#include <cstdint>

struct ScreenArea {
    int left, top, width, height;
};

// The virtual screen as the system's metrics give it (SM_XVIRTUALSCREEN, SM_YVIRTUALSCREEN,
// SM_CXVIRTUALSCREEN, SM_CYVIRTUALSCREEN), or the primary screen at the origin where the system
// has no virtual screen (its metrics are 0 before Windows 98 and 2000).
ScreenArea CoveringArea(ScreenArea virtual_screen, int primary_width, int primary_height);

struct FramePlan {
    int width, height;    // the frame computed for each paint
    uint32_t interval_ms; // between frames
};

// For a window (or preview) of the given size: a frame at most kLargestFrameWidth wide with the
// window's proportions (at least 1 x 1), and the interval that keeps the pixels stretched per
// second within budget.
FramePlan PlanFrames(int window_width, int window_height);

constexpr int kLargestFrameWidth = 320;
constexpr uint32_t kFastestFrameMs = 40; // 25 frames a second
constexpr uint32_t kSlowestFrameMs = 80; // 12.5 frames a second
