#include "install/install_layout.h"
#include "install/install_paths.h"
#include "install/installation_run.h"
#include "install/installer_state.h"
#include "platform/system_paths_win32.h"

#include <cstring>

namespace {

constexpr int kCommonAppDataFolder = 35; // CSIDL_COMMON_APPDATA
using GetFolderPathProc = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

void GetCommonAppDataFolder() {
    const HMODULE shfolder = LoadSystemLibrary("SHFOLDER.DLL");
    if (shfolder == nullptr) return;
    const auto get_folder_path = LookUpProc<GetFolderPathProc>(shfolder, "SHGetFolderPathA");
    if (get_folder_path != nullptr &&
        get_folder_path(nullptr, kCommonAppDataFolder, nullptr, 0, SharedDataFolder) != 0)
        SharedDataFolder[0] = '\0';
    FreeLibrary(shfolder);
}

} // namespace

size_t WorkOutSharedDataFolder(const char* screen_saver_base_name) {
    SharedDataFolder[0] = '\0';
    GetCommonAppDataFolder();
    SharedDataFolder[sizeof SharedDataFolder - 1] = '\0';

    bool fits = true;
    size_t own_levels_start = 0;
    if (SharedDataFolder[0] != '\0') {
        own_levels_start = std::strlen(SharedDataFolder);
    } else {
        // Unreadable, it is left empty: the levels hang from the current drive's root.
        ReadWindowsDirectory(SharedDataFolder);
        own_levels_start = std::strlen(SharedDataFolder);
        fits = SharedDataFolder[0] == '\0' ||
               AppendFallbackDataLevels(SharedDataFolder, sizeof SharedDataFolder);
    }
    fits =
        fits && AppendOwnLevels(SharedDataFolder, sizeof SharedDataFolder, screen_saver_base_name);
    // A folder path that does not fit whole is no folder of ours: nothing goes into it.
    if (!fits) SharedDataFolder[0] = '\0';
    return own_levels_start;
}
