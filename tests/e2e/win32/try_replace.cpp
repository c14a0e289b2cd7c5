// Tries to change a file the way another program of the same user could while an elevated
// program relies on it:
//   try_replace.exe FILE
// opens FILE for writing (and writes nothing), renames it away (and back, when that worked)
// and deletes it, and appends "FILE<TAB>write:E<TAB>rename:E<TAB>delete:E" to
// C:\e2e\markers\try_replace.log, E being 0 where the attempt succeeded and the system's error
// number where it was refused. Exit status: the number of attempts that succeeded.
#include "marker.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

DWORD Outcome(bool done) {
    return done ? 0 : (GetLastError() != 0 ? GetLastError() : 1);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return 100;
    const char* path = __argv[1];
    const HANDLE writer =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD write = Outcome(writer != INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    char moved[MAX_PATH + 8];
    snprintf(moved, sizeof moved, "%s.moved", path);
    const bool renamed = MoveFileA(path, moved) != FALSE;
    const DWORD rename = Outcome(renamed);
    if (renamed) MoveFileA(moved, path);
    const DWORD remove = Outcome(DeleteFileA(path) != FALSE);
    char fields[3][32];
    snprintf(fields[0], sizeof fields[0], "write:%lu", static_cast<unsigned long>(write));
    snprintf(fields[1], sizeof fields[1], "rename:%lu", static_cast<unsigned long>(rename));
    snprintf(fields[2], sizeof fields[2], "delete:%lu", static_cast<unsigned long>(remove));
    const char* const line[] = {path, fields[0], fields[1], fields[2]};
    AppendMarker("try_replace", line, 4);
    return (write == 0) + (rename == 0) + (remove == 0);
}
