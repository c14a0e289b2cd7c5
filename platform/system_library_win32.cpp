#include "platform/system_library_win32.h"

#include <cstring>

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const size_t name_length = std::strlen(name);
    const bool has_separator = path[length - 1] == '\\';
    const size_t total = length + (has_separator ? 0 : 1) + name_length;
    if (total >= MAX_PATH) return nullptr;
    size_t used = length;
    if (!has_separator) path[used++] = '\\';
    std::memcpy(path + used, name, name_length + 1);
    return LoadLibraryA(path);
}
