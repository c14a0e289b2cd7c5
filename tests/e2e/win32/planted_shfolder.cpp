// A SHFOLDER.DLL planted beside the installer, as a download folder could hold one. If the
// installer ever loads it, the marker file says so; its SHGetFolderPathA fails, so even a
// loaded plant cannot steer the destination folder.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        CreateDirectoryA("C:\\e2e", nullptr);
        CreateDirectoryA("C:\\e2e\\markers", nullptr);
        HANDLE file = CreateFileA("C:\\e2e\\markers\\planted_shfolder.log", FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char module[MAX_PATH] = "";
            GetModuleFileNameA(nullptr, module, sizeof module);
            DWORD written = 0;
            WriteFile(file, module, lstrlenA(module), &written, nullptr);
            WriteFile(file, "\r\n", 2, &written, nullptr);
            CloseHandle(file);
        }
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI
    SHGetFolderPathA(HWND, int, HANDLE, DWORD, LPSTR path) {
    if (path) path[0] = 0;
    return E_FAIL;
}
