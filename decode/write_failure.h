// The one write failure the installer reports: output that the destination file does not
// accept in full, as on a full disk. Going on would install a cut-short file and report it as
// good, so the extraction stops there (kMemberNotWritten), the installation run takes back
// what it had written, and the user is told which file could not be written; the process ends
// with kWriteFailureExitStatus, and nothing is installed, activated or started.
#pragma once

// The exit status of a run that stopped here, kWriteFailureExitStatus, is with the
// installer's others.
#include "platform/exit_status.h"

// Names the file that is being written, for the message. The path is copied (cut to fit).
void SetWriteTarget(const char* path);

// Tells the user which file could not be written, and that what the installation had written
// has been removed.
void ReportWriteFailure();

// Shows the message: a message box in the installer, standard error elsewhere.
void ShowWriteFailure(const char* message);
