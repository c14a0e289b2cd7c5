#include "install/install_layout.h"
#include "install/install_paths.h"
#include "install/installation_run.h"
#include "install/installer_state.h"

#include <cstring>

HANDLE OpenInstallLog(InstallLogStart* start) {
    *start = {false, 0};
    char path[kPathSize];
    if (!BuildInstallLogPath(SharedDataFolder, path, sizeof path)) return INVALID_HANDLE_VALUE;
    // Opened once for the run and appended to: a second installation adds its lines.
    const HANDLE log = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return log;
    start->created = GetLastError() != ERROR_ALREADY_EXISTS;
    const DWORD end = SetFilePointer(log, 0, nullptr, FILE_END);
    start->length = end != INVALID_SET_FILE_POINTER ? end : 0;
    return log;
}

void LogInstalledFile(HANDLE log, const char* path) {
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(log, path, static_cast<DWORD>(std::strlen(path)), &written, nullptr);
    WriteFile(log, "\r\n", 2, &written, nullptr);
}
