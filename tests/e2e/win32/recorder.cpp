// A stand-in for the programs the installer starts (the packaged screen saver, the packaged
// uninstaller, the system's web browser): it only appends one line to a marker file, so the
// tests can see that it was started, how often, and with which arguments.
// Line format: module path, a tab, the arguments (the command line without the program).
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
    CreateDirectoryA("C:\\e2e", nullptr);
    CreateDirectoryA("C:\\e2e\\markers", nullptr);
    HANDLE file = CreateFileA("C:\\e2e\\markers\\" RECORDER_ROLE ".log", FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    const char* args = SkipProgramName(GetCommandLineA());
    DWORD written = 0;
    WriteFile(file, module, lstrlenA(module), &written, nullptr);
    WriteFile(file, "\t", 1, &written, nullptr);
    WriteFile(file, args, lstrlenA(args), &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
    CloseHandle(file);
    return 0;
}
