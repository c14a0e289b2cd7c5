// What the hosts of the portable installer code (the Linux build and lmvpack.exe) supply in
// place of two Win32 services that only the real installer has: GetModuleFileNameA, whose
// "own executable" here is the file that a test names, and the Windows global heap, here the
// C heap.
#include "platform/file_api.h"
#include "platform/file_api_test_hooks_host.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
std::string module_file_name;
bool fail_next_alloc = false;
} // namespace

void PlatSetModuleFileName(const char* path) {
    module_file_name = path ? path : "";
}

void PlatFailNextGlobalAlloc() {
    fail_next_alloc = true;
}

// GetModuleFileNameA's contract: a name that does not fit is cut, NUL-terminated, and the
// buffer size is returned.
uint32_t PlatModuleFileName(char* buffer, uint32_t size) {
    if (size == 0 || module_file_name.empty()) return 0;
    const size_t length = module_file_name.size();
    if (length >= size) {
        std::memcpy(buffer, module_file_name.data(), size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    std::memcpy(buffer, module_file_name.c_str(), length + 1);
    return static_cast<uint32_t>(length);
}

MemoryHandle PlatGlobalAlloc(uint32_t size) {
    if (fail_next_alloc) {
        fail_next_alloc = false;
        return nullptr;
    }
    return std::calloc(size ? size : 1, 1);
}

void* PlatGlobalLock(MemoryHandle memory) {
    return memory;
}

void PlatGlobalUnlock(MemoryHandle) {}

void PlatGlobalFree(MemoryHandle memory) {
    std::free(memory);
}
