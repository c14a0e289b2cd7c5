// One removal of an installed screen saver, from the uninstaller's own folder: the files its
// INSTALL.LOG names (as far as they are ours), the screen-saver setting, the Uninstall entry,
// the log, and then, handed to a copy of the program, the uninstaller and its folders.
#pragma once

// Asks first when `interactive`, and then names what remains in one message. Returns the exit
// status (removal_report.h).
int RunRemoval(bool interactive);
