#include "frontend/install_switch.h"

#include "install/installer_state.h"
#include "platform/fixed_text.h"

#include <cstring>

namespace {

bool SeparatesArguments(char c) {
    return c == ' ' || c == '\t' || c == '"';
}

} // namespace

int32_t InstallModeFromArguments(const char* arguments) {
    if (arguments == nullptr) return kInteractiveMode;
    if (UnattendedRequested(arguments)) return kSilentMode;
    const char* mark = std::strchr(arguments, '/');
    if (mark == nullptr) mark = std::strchr(arguments, '-');
    if (mark == nullptr) return kInteractiveMode;
    // The C locale's upper-casing, independent of the user's code page.
    return ToUpperAscii(mark[1]) == 'S' ? kSilentMode : kInteractiveMode;
}

bool UnattendedRequested(const char* arguments) {
    if (arguments == nullptr) return false;
    static constexpr char kWord[] = "UNATTENDED";
    constexpr size_t kWordLength = sizeof kWord - 1;
    for (const char* at = arguments; *at != '\0'; ++at) {
        if (*at != '/' && *at != '-') continue;
        if (at != arguments && !SeparatesArguments(at[-1])) continue;
        size_t matched = 0;
        while (matched < kWordLength && ToUpperAscii(at[1 + matched]) == kWord[matched])
            ++matched;
        if (matched < kWordLength) continue;
        const char after = at[1 + kWordLength];
        if (after == '\0' || SeparatesArguments(after)) return true;
    }
    return false;
}
