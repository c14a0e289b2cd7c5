#include "screen_saver_arguments.h"

namespace {

uintptr_t ParseWindow(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == ':' || text[at] == '\t'))
        ++at;
    uintptr_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const uintptr_t next = value * 10 + static_cast<uintptr_t>(text[at] - '0');
        if (next / 10 != value) return 0; // too large to be a window handle
        value = next;
    }
    return value;
}

} // namespace

ScreenSaverArguments ParseScreenSaverArguments(std::string_view arguments) {
    const size_t at = arguments.find_first_not_of(" \t");
    if (at == std::string_view::npos || at + 1 >= arguments.size() ||
        (arguments[at] != '/' && arguments[at] != '-'))
        return {ScreenSaverMode::kSettings, 0};
    const char letter = arguments[at + 1];
    const std::string_view rest(arguments.data() + at + 2, arguments.size() - at - 2);
    switch (letter) {
    case 's':
    case 'S':
        return {ScreenSaverMode::kFullScreen, 0};
    case 'p':
    case 'P': {
        const uintptr_t window = ParseWindow(rest);
        // A preview without a window to draw in has nothing to do: the settings instead.
        if (window != 0) return {ScreenSaverMode::kPreview, window};
        return {ScreenSaverMode::kSettings, 0};
    }
    default:
        return {ScreenSaverMode::kSettings, ParseWindow(rest)};
    }
}
