// In a file of its own: the uninstaller, which loads no library by path, takes only this.
#include "platform/system_paths_win32.h"

bool ReadWindowsDirectory(char (&folder)[kPathSize]) {
    const UINT length = GetWindowsDirectoryA(folder, kPathSize);
    if (length != 0 && length < kPathSize) return true;
    folder[0] = '\0';
    return false;
}
