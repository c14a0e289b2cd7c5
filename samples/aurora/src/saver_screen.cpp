#include "saver_screen.h"

namespace {

// The window pixels stretched per second at the fastest rate on a 1920x1200 screen.
constexpr uint64_t kPixelsPerSecond = 1920ull * 1200ull * (1000 / kFastestFrameMs);

} // namespace

ScreenArea CoveringArea(ScreenArea virtual_screen, int primary_width, int primary_height) {
    if (virtual_screen.width > 0 && virtual_screen.height > 0) return virtual_screen;
    return {0, 0, primary_width, primary_height};
}

FramePlan PlanFrames(int window_width, int window_height) {
    const int width = window_width > 1 ? window_width : 1;
    const int height = window_height > 1 ? window_height : 1;
    FramePlan plan;
    plan.width = width < kLargestFrameWidth ? width : kLargestFrameWidth;
    plan.height = static_cast<int>(static_cast<int64_t>(height) * plan.width / width);
    if (plan.height < 1) plan.height = 1;
    // Milliseconds per frame so that the window's pixels, once per frame, stay within budget.
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const uint64_t interval = (pixels * 1000 + kPixelsPerSecond - 1) / kPixelsPerSecond;
    plan.interval_ms = interval < kFastestFrameMs   ? kFastestFrameMs
                       : interval > kSlowestFrameMs ? kSlowestFrameMs
                                                    : static_cast<uint32_t>(interval);
    return plan;
}
