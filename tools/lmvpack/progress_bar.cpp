#include "tools/lmvpack/progress_bar.h"

#include <unistd.h>

namespace {
constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
} // namespace

ProgressBar::ProgressBar(bool enabled, std::FILE* stream)
    : active_(enabled && ::isatty(::fileno(stream))), stream_(stream) {}

ProgressBar::~ProgressBar() {
    Clear();
}

void ProgressBar::Update(uint64_t done, uint64_t total, const std::string& label) {
    if (!active_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_draw_ < kRedrawInterval) return;
    last_draw_ = now;
    const int filled = total ? static_cast<int>(done * kBarWidth / total) : kBarWidth;
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kBarWidth, '-');
    std::fprintf(stream_, "\r\033[K[%s] %3d%% %.60s", bar.c_str(), percent, label.c_str());
    std::fflush(stream_);
    drawn_ = true;
}

void ProgressBar::Clear() {
    if (!drawn_) return;
    std::fprintf(stream_, "\r\033[K");
    std::fflush(stream_);
    drawn_ = false;
}
