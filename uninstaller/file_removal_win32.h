// Removing one installed file without ever following a link.
//
// The file is opened as itself (a symbolic link or junction is opened as the link, not its
// target), judged through that handle (a link, a file with other names, a folder are refused)
// and deleted through the same handle, so that nothing can be swapped in between the check and
// the deletion. Systems without SetFileInformationByHandle (before Vista) delete by name right
// after the check.
#pragma once

#include <windows.h>

enum class FileRemoval {
    kRemoved,
    kAlreadyGone, // nothing to do: fine
    kBusy,        // in use or refused for now; only when scheduling was not asked for
    kScheduled,   // in use: removal at the next restart has been scheduled
    kLink,
    kHardLinked,
    kNotAFile,
    kFailed,
};

enum class WhenBusy { kSchedule, kReport };

FileRemoval RemoveInstalledFile(const char* path, WhenBusy when_busy);

// A folder that is a symbolic link or junction (or that cannot be looked at) is never entered.
bool IsLinkOrMissing(const char* folder);

// MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT and no new name: the system removes the file, or
// the folder once it is empty, when it starts next. Needs the administrator's rights.
bool ScheduleRemovalAtRestart(const char* path);
