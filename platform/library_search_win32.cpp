#include "platform/library_search_win32.h"

#include "platform/system_paths_win32.h"

namespace {

constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryProc = BOOL(WINAPI*)(LPCSTR);

} // namespace

void RestrictLibrarySearch() {
    if (const auto set_default_directories =
            KernelProc<SetDefaultDllDirectoriesProc>("SetDefaultDllDirectories"))
        set_default_directories(kLoadLibrarySearchSystem32);
    if (const auto set_directory = KernelProc<SetDllDirectoryProc>("SetDllDirectoryA"))
        set_directory("");
}
