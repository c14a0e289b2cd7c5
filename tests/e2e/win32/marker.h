// The trace the e2e helpers leave for the tests: one line appended to
// C:\e2e\markers\<name>.log, its fields separated by tabs and ended by CRLF. Appending (no
// seek) and sharing the file keep the lines of programs that run at once whole.
#pragma once

#include <windows.h>

// False when the marker file cannot be opened.
inline bool AppendMarker(const char* name, const char* const* fields, int count) {
    char path[MAX_PATH] = "C:\\e2e\\markers\\";
    if (lstrlenA(path) + lstrlenA(name) + 5 > MAX_PATH) return false;
    lstrcatA(path, name);
    lstrcatA(path, ".log");
    CreateDirectoryA("C:\\e2e", nullptr);
    CreateDirectoryA("C:\\e2e\\markers", nullptr);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0) WriteFile(file, "\t", 1, &written, nullptr);
        WriteFile(file, fields[i], static_cast<DWORD>(lstrlenA(fields[i])), &written, nullptr);
    }
    WriteFile(file, "\r\n", 2, &written, nullptr);
    CloseHandle(file);
    return true;
}
