// How the uninstaller removes its own file and folders.
//
// A running program's file cannot be deleted, so the last steps are handed to a copy of the
// program in the user's temporary folder:
//   1. the uninstaller copies itself to a fresh file there (GetTempFileNameA: lmvXXXX.tmp),
//      starts the copy with "/finish-removal", an inheritable handle to its own process and its
//      own path, and ends;
//   2. the copy waits for that process to end (60 s at most), deletes the uninstaller file
//      (retrying for up to 5 s while the system still holds it), then its folder and the
//      "Lumenvault" and "Tarrowby" levels above it, each only when empty and not a link;
//   3. the copy schedules its own file for removal at the next restart and ends.
// What remains until the next restart, at most: the copy in the temporary folder (the size of
// the uninstaller) and its entry in the system's list of files to remove at restart. Should the
// uninstaller file still be held, or a folder still hold a file scheduled for removal, those
// are scheduled too, after it. When no copy can be made or started, the uninstaller schedules
// its file and folders itself.
#pragma once

#include "uninstaller/removal_rules.h"
#include "uninstaller/uninstaller_arguments.h"

// Step 1, from the uninstaller. False when the work had to be left to the next restart.
bool HandOverSelfRemoval(const char* own_path, const OwnFolder& own);

// Steps 2 and 3, in the copy.
void FinishSelfRemoval(const UninstallArguments& arguments);
