// A library planted beside the installer under the name of one that it (or the system on its
// behalf) might load: the test copies this one file under every such name. Loaded, it appends
// its own file name and the program's to C:\e2e\markers\planted_libraries.log and then lets
// the load fail, so a loaded plant shows and has no other effect.
#include "marker.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char library[MAX_PATH] = "", program[MAX_PATH] = "";
    GetModuleFileNameA(self, library, sizeof library);
    GetModuleFileNameA(nullptr, program, sizeof program);
    const char* const fields[] = {library, program};
    AppendMarker("planted_libraries", fields, 2);
    return FALSE;
}
