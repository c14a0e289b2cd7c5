#include "platform/system_paths_win32.h"

HMODULE LoadSystemLibrary(const char* name) {
    char directory[kPathSize];
    const UINT length = GetSystemDirectoryA(directory, kPathSize);
    if (length == 0 || length >= kPathSize) return nullptr;
    char path[kPathSize];
    if (!JoinPath(directory, name, path, sizeof path)) return nullptr;
    return LoadLibraryA(path);
}
