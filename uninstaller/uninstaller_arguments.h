// The uninstaller's command line, after its own program name.
//
//   (nothing)    interactive: one question, and one message when something remains. This is
//                how the list of installed programs starts UninstallString.
//   /s or -s     silent: no question, no message; the exit status tells the result. The
//                installer's rollback after an abort starts it so; scripts may too.
//   /finish-removal <handle> "<path>"
//                the uninstaller's own temporary copy (self_removal_win32.h): wait for the
//                process of that inherited handle to end, then remove the uninstaller file at
//                <path> and its now empty folders.
//
// Letters may be in either case. Anything else is ignored: a bare UninstallString with blanks
// in its folder reaches the program as arguments made of the path's pieces, which must not
// change what it does.
#pragma once

#include "uninstaller/removal_rules.h"

#include <cstdint>
#include <string_view>

enum class UninstallMode { kInteractive, kSilent, kFinishRemoval };

struct UninstallArguments {
    UninstallMode mode;
    uint32_t ended_process;   // kFinishRemoval: the handle to wait on
    char original[kPathSize]; // kFinishRemoval: empty when the request was malformed
};

UninstallArguments ParseUninstallArguments(std::string_view arguments);

// The command line that starts the temporary copy at `copy` as a finishing run. False when it
// does not fit `size`.
bool BuildFinishCommand(const char* copy, uint32_t ended_process, const char* original, char* out,
                        size_t size);
