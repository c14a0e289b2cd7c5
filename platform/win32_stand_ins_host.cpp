// What the hosts of the portable installer code (lmvpack, on Linux and on Windows) supply in
// place of two Win32 services that only the real installer has: its own file, which a host
// does not have (it reads installers by path), and the Windows global heap, here the C heap.
// The tests link their own version of this file, which they can steer
// (tests/unit/support/file_api_test_hooks.h).
#include "platform/file_api.h"

#include <cstdlib>

bool PlatHoldOwnFile() {
    return false;
}

FileHandle PlatOpenOwnFile() {
    return kNoFile;
}

MemoryHandle PlatGlobalAlloc(uint32_t size) {
    return std::calloc(size ? size : 1, 1);
}

void* PlatGlobalLock(MemoryHandle memory) {
    return memory;
}

void PlatGlobalUnlock(MemoryHandle) {}

void PlatGlobalFree(MemoryHandle memory) {
    std::free(memory);
}
