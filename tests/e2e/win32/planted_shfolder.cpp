// A SHFOLDER.DLL planted beside the installer, as a download folder could hold one. If the
// installer ever loads it, the marker file says so; its SHGetFolderPathA fails, so even a
// loaded plant cannot steer the destination folder.
#include "marker.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char module[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, module, sizeof module);
        const char* const fields[] = {module};
        AppendMarker("planted_shfolder", fields, 1);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI
    SHGetFolderPathA(HWND, int, HANDLE, DWORD, LPSTR path) {
    if (path) path[0] = 0;
    return E_FAIL;
}
