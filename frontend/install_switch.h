// The installer's command-line switches: "/S" or "-S", in either case, asks for a silent
// installation; "/UNATTENDED" for one that shows nothing at all.
#pragma once

#include <cstdint>

// The install mode that the argument text (the command line without the program's name)
// selects: kSilentMode or kInteractiveMode. Only the first "/" counts; a "-" counts only when
// the text holds no "/" at all, and only the one character after it is looked at, so "/Silent"
// and "x/S" are silent while "/q -S" is not. An unattended run (UnattendedRequested) is always
// silent, whatever the first switch character says.
int32_t InstallModeFromArguments(const char* arguments);

// Whether the argument text holds "/UNATTENDED" or "-UNATTENDED", in any letter case, as an
// argument of its own anywhere in the text: at its start or after a blank, a tab or a quote,
// and followed by its end, a blank, a tab or a quote. Deployment tools run the installer with
// it where no one is at the screen.
bool UnattendedRequested(const char* arguments);
