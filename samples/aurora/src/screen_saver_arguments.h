// The command line every Windows screen saver understands:
//   /s            run full screen until a key or the mouse moves
//   /p <hwnd>     draw inside the preview window of the display settings (a decimal handle)
//   /c or /c:<hwnd>, or nothing at all
//                 show the settings dialog (owned by that window when one is given)
// Letters in either case, "-" as well as "/", and "/p:<hwnd>" as some systems write it.
#pragma once

#include <cstdint>
#include <string_view>

enum class ScreenSaverMode { kSettings, kFullScreen, kPreview };

struct ScreenSaverArguments {
    ScreenSaverMode mode;
    uintptr_t window; // the preview window, or the settings dialog's owner; 0 for none
};

ScreenSaverArguments ParseScreenSaverArguments(std::string_view arguments);
