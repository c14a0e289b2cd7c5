// The installer's one command-line switch: "/S" or "-S", in either case, asks for a silent
// installation.
#pragma once

#include <cstdint>

// The install mode that the argument text (the command line without the program's name)
// selects: kSilentMode or kInteractiveMode. Only the first "/" counts; a "-" counts only when
// the text holds no "/" at all, and only the one character after it is looked at, so "/Silent"
// and "x/S" are silent while "/q -S" is not.
int32_t InstallModeFromArguments(const char* arguments);
