// The one fatal error of the installer: output that the destination file does not accept in
// full, as on a full disk. Going on would install a cut-short file and report it as good, so
// the user is told which file could not be written and the process ends with a failing exit
// status: nothing after it is installed, activated or started.
#pragma once

// The exit status of a run that stopped here, kWriteFailureExitStatus, is with the
// installer's others.
#include "platform/exit_status.h"

// Names the file that is being written, for the message. The path is copied (cut to fit).
void SetWriteTarget(const char* path);

// Tells the user which file could not be written and ends the process through the runtime's
// ordinary exit, so exit handlers run and open stream buffers are flushed.
[[noreturn]] void FailWrite();

// Shows the message: a message box in the installer, standard error elsewhere.
void ShowWriteFailure(const char* message);
