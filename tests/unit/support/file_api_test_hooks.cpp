// The tests' and fuzzers' stand-ins for two Win32 services that only the real installer has
// (lmvpack links the product's, platform/win32_stand_ins_host.cpp): its own file, here the file
// that a test names, and the Windows global heap, here the C heap, with a failure on demand.
#include "support/file_api_test_hooks.h"
#include "platform/file_api.h"

#include <fcntl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {
std::string module_file_name;
bool fail_next_alloc = false;
bool own_file_tried = false;
FileHandle own_file = kNoFile;

FileHandle DuplicateOwnFile() {
    if (!PlatHoldOwnFile()) return kNoFile;
    return ::fcntl(own_file, F_DUPFD_CLOEXEC, 0);
}
} // namespace

// A test names the running program's file: as at a program's start, it is opened afresh at
// its first use.
void PlatSetModuleFileName(const char* path) {
    module_file_name = path ? path : "";
    if (own_file != kNoFile) PlatClose(own_file);
    own_file = kNoFile;
    own_file_tried = false;
}

bool PlatHoldOwnFile() {
    if (own_file_tried) return own_file != kNoFile;
    own_file_tried = true;
    // As the installer: a name too long for its buffer would come cut short, naming some
    // other file.
    if (!module_file_name.empty() && module_file_name.size() < kModuleNameSize)
        own_file = PlatOpenRead(module_file_name.c_str());
    return own_file != kNoFile;
}

FileHandle PlatOpenOwnFile() {
    return DuplicateOwnFile();
}

void PlatFailNextGlobalAlloc() {
    fail_next_alloc = true;
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
