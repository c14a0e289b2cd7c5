// How the uninstaller removes its own file and folders.
//
// A running program's file cannot be deleted, so the last steps are handed to a copy of the
// program. The copy runs elevated, so it is made where only the administrators can write: a
// fresh folder with our rules (SYSTEM and the Administrators full control, Users read and run)
// in the Windows directory's "Temp" folder, where other users may not rename or remove what is
// not theirs; never the user's %TEMP%, which the user's own environment names.
//   1. the uninstaller makes that folder (lmvXXXXXXXX.tmp) and the copy in it, and holds the
//      copy open against writers and deleters (PrepareFinishingCopy); tells the user what
//      remains, if anything; then starts the copy by the path it made, still held, with
//      "/finish-removal", an inheritable handle to its own process and its own path
//      (StartFinishingCopy), and ends;
//   2. the copy waits until that process has ended, however long the user takes over its last
//      message, deletes the uninstaller file (retrying for up to 5 s while the system still
//      holds it), then its folder and the "Lumenvault" and "Tarrowby" levels above it, each only
//      when empty and not a link; it leaves them alone when another installer or uninstaller of
//      the screen saver has started meanwhile;
//   3. the copy schedules its own file and its folder for removal at the next restart and ends.
// What remains until the next restart, at most: the copy and its folder (the size of the
// uninstaller) and their entries in the system's list of files to remove at restart. Should
// the uninstaller file still be held, or a folder still hold a file scheduled for removal,
// those are scheduled too, after it. When no copy can be made or started, the uninstaller
// schedules its file and folders itself.
#pragma once

#include "uninstaller/removal_rules.h"
#include "uninstaller/uninstaller_arguments.h"

#include <windows.h>

struct FinishingCopy {
    char path[kPathSize];
    HANDLE held; // the copy, open against writers and deleters until it has been started
};

// Step 1, from the uninstaller: the copy, made and held. False when none could be made.
bool PrepareFinishingCopy(const char* own_path, FinishingCopy* copy);
// Starts the copy, then lets go of it. False (and the copy removed) when it could not start.
bool StartFinishingCopy(FinishingCopy* copy, const char* own_path);
// Without a copy: the uninstaller file and its folders are scheduled for the next restart.
void LeaveSelfRemovalToRestart(const char* own_path, const OwnFolder& own);

// Steps 2 and 3, in the copy.
void FinishSelfRemoval(const UninstallArguments& arguments);
