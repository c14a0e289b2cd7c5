// Removes a program the way deployment tools do, by the command line its Uninstall entry
// names:
//   run_uninstall_command.exe NAME VALUE
// reads VALUE (QuietUninstallString, say) of the Uninstall entry NAME under
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall, appends
// "NAME<TAB>VALUE<TAB>command line" to C:\e2e\markers\uninstall_command.log, starts the command
// line as it stands, waits for it and ends with its exit status (100 and up when the value cannot
// be read or started).
#include "marker.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 100;
    char key_path[512];
    snprintf(key_path, sizeof key_path,
             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s", __argv[1]);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 101;
    char command[2048] = "";
    DWORD size = sizeof command - 1;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExA(key, __argv[2], nullptr, &type, reinterpret_cast<BYTE*>(command), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return 102;
    const char* const line[] = {__argv[1], __argv[2], command};
    AppendMarker("uninstall_command", line, 3);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 103;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 104;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
