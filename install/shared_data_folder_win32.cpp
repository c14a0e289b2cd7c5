#include "install/install_paths.h"
#include "install/installation_run.h"
#include "install/installer_state.h"

namespace {

constexpr int kCommonAppDataFolder = 35; // CSIDL_COMMON_APPDATA
using GetFolderPathProc = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

// Levels are created one by one; a level that exists already, or cannot be made, is passed
// over and the next one is tried all the same.
bool AddFolderLevel(const char* level) {
    if (!AppendPathLevel(SharedDataFolder, sizeof SharedDataFolder, level)) return false;
    CreateDirectoryA(SharedDataFolder, nullptr);
    return true;
}

// By its full path in the system directory: a bare name would be looked for first in the
// installer's own folder, usually a downloads folder where anyone may have left a DLL of that
// name. Without the system directory the library counts as missing.
HMODULE LoadSystemLibrary(const char* file_name) {
    char path[kPathSize];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || !AppendPathLevel(path, sizeof path, file_name))
        return nullptr;
    return LoadLibraryA(path);
}

void GetCommonAppDataFolder() {
    const HMODULE shfolder = LoadSystemLibrary("SHFOLDER.DLL");
    if (shfolder == nullptr) return;
    // Through a plain function pointer type: GetProcAddress's own type does not match.
    const auto get_folder_path = reinterpret_cast<GetFolderPathProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(shfolder, "SHGetFolderPathA")));
    if (get_folder_path != nullptr &&
        get_folder_path(nullptr, kCommonAppDataFolder, nullptr, 0, SharedDataFolder) != 0)
        SharedDataFolder[0] = '\0';
    FreeLibrary(shfolder);
}

} // namespace

void BuildSharedDataFolder(const char* screen_saver_base_name) {
    SharedDataFolder[0] = '\0';
    GetCommonAppDataFolder();
    SharedDataFolder[sizeof SharedDataFolder - 1] = '\0';

    bool fits = true;
    if (SharedDataFolder[0] == '\0') {
        const UINT length = GetWindowsDirectoryA(SharedDataFolder, sizeof SharedDataFolder);
        if (length == 0 || length >= sizeof SharedDataFolder)
            SharedDataFolder[0] = '\0'; // the levels hang from the current drive's root
        else
            fits = AddFolderLevel("All Users") && AddFolderLevel("Application Data");
    }
    fits = fits && AddFolderLevel("Tarrowby") && AddFolderLevel("Lumenvault") &&
           AddFolderLevel(screen_saver_base_name) &&
           AppendPathLevel(SharedDataFolder, sizeof SharedDataFolder, "");
    // A folder path that does not fit whole is no folder of ours: nothing goes into it.
    if (!fits) SharedDataFolder[0] = '\0';
}
