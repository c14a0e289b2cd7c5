// A library planted beside the installer under the name of one that it (or the system on its
// behalf) might load: the test copies this one file under every such name. Loaded, it appends
// its own file name and the program's to C:\e2e\markers\planted_libraries.log and then lets
// the load fail, so a loaded plant shows and has no other effect.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    CreateDirectoryA("C:\\e2e", nullptr);
    CreateDirectoryA("C:\\e2e\\markers", nullptr);
    HANDLE file = CreateFileA("C:\\e2e\\markers\\planted_libraries.log", FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char library[MAX_PATH] = "", program[MAX_PATH] = "";
        GetModuleFileNameA(self, library, sizeof library);
        GetModuleFileNameA(nullptr, program, sizeof program);
        DWORD written = 0;
        WriteFile(file, library, lstrlenA(library), &written, nullptr);
        WriteFile(file, "\t", 1, &written, nullptr);
        WriteFile(file, program, lstrlenA(program), &written, nullptr);
        WriteFile(file, "\r\n", 2, &written, nullptr);
        CloseHandle(file);
    }
    return FALSE;
}
