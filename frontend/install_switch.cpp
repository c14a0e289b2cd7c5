#include "frontend/install_switch.h"

#include "install/installer_state.h"

#include <cstring>

int32_t InstallModeFromArguments(const char* arguments) {
    if (arguments == nullptr) return kInteractiveMode;
    const char* mark = std::strchr(arguments, '/');
    if (mark == nullptr) mark = std::strchr(arguments, '-');
    if (mark == nullptr) return kInteractiveMode;
    // The C locale's upper-casing, independent of the user's code page.
    char letter = mark[1];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    return letter == 'S' ? kSilentMode : kInteractiveMode;
}
