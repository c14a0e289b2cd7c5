#include "uninstaller/dll_search_hardening_win32.h"

#include <windows.h>

namespace {

constexpr DWORD kSearchSystem32Only = 0x800; // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryProc = BOOL(WINAPI*)(LPCSTR);

// Through a plain function pointer type: GetProcAddress's own type does not match.
template <typename Proc> Proc KernelProc(const char* name) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

} // namespace

void RestrictDllSearch() {
    if (const auto set_default =
            KernelProc<SetDefaultDllDirectoriesProc>("SetDefaultDllDirectories"))
        set_default(kSearchSystem32Only);
    // Takes the current folder out of the search where the call above is missing.
    if (const auto set_directory = KernelProc<SetDllDirectoryProc>("SetDllDirectoryA"))
        set_directory("");
}
