#include "frontend/windows_drive.h"

#include "platform/fixed_text.h"

#include <cstring>

uint32_t KilobytesFromBytes(uint64_t bytes) {
    const uint64_t kilobytes = bytes >> 10;
    return kilobytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(kilobytes);
}

void FreeSpaceRoot(const char* path, char* root) {
    size_t cut = 0;
    for (size_t i = 0; i < 32 && path[i] != '\0'; ++i)
        if (path[i] == '\\') cut = i + 1;
    root[0] = '\0';
    if (cut > 0) {
        std::memcpy(root, path, cut);
        root[cut] = '\0';
        return;
    }
    // No "\" near the start: ask for the folder itself, which the drive query accepts too.
    if (!AppendText(root, kPathSize, path) || !AppendText(root, kPathSize, "\\")) root[0] = '\0';
}

bool DriveRootOf(const char* path, char* root) {
    const char* slash = std::strchr(path, '\\');
    if (slash == nullptr) return false;
    const size_t length = static_cast<size_t>(slash - path) + 1;
    if (length >= kPathSize) return false;
    std::memcpy(root, path, length);
    root[length] = '\0';
    return true;
}
