// Keeps a file open while another program runs, as a media player keeps the sound it plays:
//   hold_open.exe FILE PROGRAM [ARGUMENTS...]
// opens FILE for reading, letting others read it but neither write nor delete it, runs
// PROGRAM with ARGUMENTS, waits for it, closes FILE and exits with PROGRAM's exit status
// (250 when FILE cannot be opened, 251 when PROGRAM cannot be started).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 2;
    HANDLE held = CreateFileA(__argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 250;
    char command[2048] = "";
    for (int i = 2; i < __argc; ++i) {
        const size_t used = strlen(command);
        snprintf(command + used, sizeof command - used, "%s\"%s\"", i > 2 ? " " : "", __argv[i]);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD code = 251;
    if (CreateProcessA(__argv[2], command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(held);
    return static_cast<int>(code);
}
