// A stand-in for the programs the installer starts (the packaged screen saver, the packaged
// uninstaller, the system's web browser): it only appends one line to a marker file, so the
// tests can see that it was started, how often, and with which arguments.
// Line format: module path, a tab, the arguments (the command line without the program).
#include "marker.h"

#include <windows.h>

#ifndef RECORDER_ROLE
#error "RECORDER_ROLE names the marker file"
#endif

namespace {

const char* SkipProgramName(const char* line) {
    if (*line == '"') {
        ++line;
        while (*line && *line != '"')
            ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    const char* const fields[] = {module, SkipProgramName(GetCommandLineA())};
    return AppendMarker(RECORDER_ROLE, fields, 2) ? 0 : 1;
}
