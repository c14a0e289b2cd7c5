#include "tools/lmvpack/cli/progress_bar.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {
constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

#ifdef _WIN32
// _isatty also answers yes for NUL and other character devices, so ask the console itself.
// The bar redraws with VT escapes, which a console understands only once they are switched
// on; a console that refuses them (before Windows 10) gets no bar.
bool IsTerminal(std::FILE* stream) {
    const intptr_t handle = ::_get_osfhandle(::_fileno(stream));
    if (handle == -1) return false;
    HANDLE console = reinterpret_cast<HANDLE>(handle);
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode)) return false;
    constexpr DWORD kVirtualTerminal = 0x0004; // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    return (mode & kVirtualTerminal) || SetConsoleMode(console, mode | kVirtualTerminal);
}
#else
bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream));
}
#endif
} // namespace

ProgressBar::ProgressBar(bool enabled, std::FILE* stream)
    : active_(enabled && IsTerminal(stream)), stream_(stream) {}

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
