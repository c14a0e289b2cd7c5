#include "platform/library_search_win32.h"

#include <windows.h>

namespace {

constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryProc = BOOL(WINAPI*)(LPCSTR);

// Through a plain function pointer type: GetProcAddress's own type does not match.
template <typename Proc> Proc LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

void RestrictLibrarySearch() {
    // Already loaded with the process: asking for it loads nothing.
    const HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel == nullptr) return;
    if (const auto set_default_directories =
            LookUp<SetDefaultDllDirectoriesProc>(kernel, "SetDefaultDllDirectories"))
        set_default_directories(kLoadLibrarySearchSystem32);
    if (const auto set_directory = LookUp<SetDllDirectoryProc>(kernel, "SetDllDirectoryA"))
        set_directory("");
}
