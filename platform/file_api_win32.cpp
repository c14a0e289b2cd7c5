// The installer's side of the kernel layer: each call is the Win32 call itself.
#include "platform/file_api.h"

#include <windows.h>

uint32_t PlatModuleFileName(char* buffer, uint32_t size) {
    return GetModuleFileNameA(nullptr, buffer, size);
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
