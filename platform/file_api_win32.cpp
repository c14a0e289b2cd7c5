// The installer's side of the kernel layer: each call is the Win32 call itself.
#include "platform/file_api.h"

#include <windows.h>

namespace {

bool own_file_tried = false;
HANDLE own_file = INVALID_HANDLE_VALUE;

// A second handle on the same open file: the sharing it was opened with stays in force.
HANDLE DuplicateOwnFile() {
    if (!PlatHoldOwnFile()) return INVALID_HANDLE_VALUE;
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(GetCurrentProcess(), own_file, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return INVALID_HANDLE_VALUE;
    return copy;
}

} // namespace

bool PlatHoldOwnFile() {
    if (own_file_tried) return own_file != INVALID_HANDLE_VALUE;
    own_file_tried = true;
    char path[kModuleNameSize];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A name that filled the whole buffer was cut short and names some other file.
    if (length == 0 || length >= sizeof path) return false;
    own_file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return own_file != INVALID_HANDLE_VALUE;
}

// The file calls below take a kernel file handle as their HFILE, as _lopen gives one.
FileHandle PlatOpenOwnFile() {
    const HANDLE copy = DuplicateOwnFile();
    return copy == INVALID_HANDLE_VALUE ? kNoFile
                                        : static_cast<FileHandle>(reinterpret_cast<INT_PTR>(copy));
}

FileHandle PlatOpenRead(const char* path) {
    return _lopen(path, OF_READ | OF_SHARE_DENY_NONE);
}

FileHandle PlatCreateFile(const char* path) {
    return _lcreat(path, 0);
}

uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count) {
    return _lread(file, buffer, count);
}

uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count) {
    return _lwrite(file, static_cast<LPCCH>(buffer), count);
}

int32_t PlatSeek(FileHandle file, int32_t offset, SeekOrigin origin) {
    return _llseek(file, offset, origin);
}

void PlatClose(FileHandle file) {
    _lclose(file);
}

MemoryHandle PlatGlobalAlloc(uint32_t size) {
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
}

void* PlatGlobalLock(MemoryHandle memory) {
    return GlobalLock(memory);
}

void PlatGlobalUnlock(MemoryHandle memory) {
    GlobalUnlock(memory);
}

void PlatGlobalFree(MemoryHandle memory) {
    GlobalFree(memory);
}
