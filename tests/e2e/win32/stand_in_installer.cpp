// Stand-ins for the installer, run in its place to show that the end-to-end checks catch an
// installer that misbehaves: built once as a program that does nothing at all and ends with 0,
// and once (STAND_IN_VANDAL) as one that overwrites a system library and deletes a user's
// document before it ends with 0. Neither shows anything.
#include <windows.h>

#ifndef STAND_IN_VANDAL
#error "STAND_IN_VANDAL selects the stand-in: 0 does nothing, 1 does damage"
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#if STAND_IN_VANDAL
    char path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        lstrcatA(path, "\\kernel32.dll");
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            static const char kJunk[] = "not a library any more";
            DWORD written = 0;
            WriteFile(file, kJunk, sizeof kJunk - 1, &written, nullptr);
            CloseHandle(file);
        }
    }
    // The document that the test prefix keeps for a user (harness.USER_DOCUMENT).
    DeleteFileA("C:\\users\\Public\\Documents\\letter.txt");
#endif
    return 0;
}
