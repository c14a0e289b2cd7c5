#include "uninstaller/removal_run_win32.h"

#include "install/folder_securing_win32.h"
#include "install/install_layout.h"
#include "platform/format_text.h"
#include "platform/instance_lock.h"
#include "platform/system_paths_win32.h"
#include "uninstaller/file_removal_win32.h"
#include "uninstaller/install_log.h"
#include "uninstaller/removal_report.h"
#include "uninstaller/self_removal_win32.h"
#include "uninstaller/system_settings_win32.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

namespace {

// A log far larger than any installation writes is not read: it is not one of ours.
constexpr DWORD kLargestLog = 16u << 20;

using GetLongPathNameProc = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);

// The program's own path in its long form: started by a short (8.3) path, it must still
// recognise the long paths its installer logged. Windows 95 and NT 4 lack the call; there the
// path stays as given.
bool OwnModulePath(char* out, DWORD size) {
    char path[kPathSize];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return false;
    const auto get_long_path = KernelProc<GetLongPathNameProc>("GetLongPathNameA");
    if (get_long_path != nullptr) {
        const DWORD long_length = get_long_path(path, out, size);
        if (long_length > 0 && long_length < size) return true;
    }
    std::memcpy(out, path, length + 1);
    return true;
}

Leftover LeftoverOf(FileRemoval removal) {
    switch (removal) {
    case FileRemoval::kScheduled:
        return Leftover::kScheduled;
    case FileRemoval::kLink:
        return Leftover::kLink;
    case FileRemoval::kHardLinked:
        return Leftover::kHardLinked;
    case FileRemoval::kNotAFile:
        return Leftover::kNotAFile;
    default:
        return Leftover::kFailed;
    }
}

// Removes one file and notes what stays. True when the file is gone or will be at restart.
bool RemoveAndNote(const char* path, RemovalReport* report) {
    const FileRemoval removal = RemoveInstalledFile(path, WhenBusy::kSchedule);
    if (removal == FileRemoval::kRemoved || removal == FileRemoval::kAlreadyGone) return true;
    NoteLeftover(report, LeftoverOf(removal), path);
    return removal == FileRemoval::kScheduled;
}

// The whole log, or nothing when it is missing, unreadable or too large (noted).
char* ReadInstallLog(const char* path, DWORD* size, RemovalReport* report) {
    *size = 0;
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD length = GetFileSize(file, nullptr);
    char* text = nullptr;
    if (length == INVALID_FILE_SIZE || length > kLargestLog) {
        NoteLeftover(report, Leftover::kFailed, path);
    } else if ((text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1))) != nullptr) {
        DWORD read = 0;
        if (!ReadFile(file, text, length, &read, nullptr)) read = 0;
        *size = read;
    }
    CloseHandle(file);
    return text;
}

// Every file the log names that is ours; the rest is noted and left alone. True when the
// screen saver in the Windows directory was among them and is gone (or will be at restart).
bool RemoveLoggedFiles(const OwnFolder& own, const char* screen_saver_path, RemovalReport* report) {
    char log_path[kPathSize];
    if (!BuildInstallLogPath(own.folder, log_path, sizeof log_path)) return false;
    DWORD size = 0;
    char* text = ReadInstallLog(log_path, &size, report);
    if (text == nullptr) return false;
    const HANDLE heap = GetProcessHeap();
    LogLine* lines = static_cast<LogLine*>(HeapAlloc(heap, 0, MaxLogLines(size) * sizeof(LogLine)));
    bool screen_saver_gone = false;
    const size_t count =
        lines != nullptr ? SplitInstallLog(std::string_view(text, size), lines, MaxLogLines(size))
                         : 0;
    for (size_t i = 0; i < count; ++i) {
        const std::string_view line(text + lines[i].offset, lines[i].length);
        switch (ClassifyLogEntry(line, own, screen_saver_path)) {
        case LogEntry::kForeign:
            NoteLeftover(report, Leftover::kForeign, line);
            break;
        case LogEntry::kScreenSaver:
            screen_saver_gone = RemoveAndNote(screen_saver_path, report);
            break;
        case LogEntry::kOwnFile: {
            char path[kPathSize];
            std::memcpy(path, line.data(), line.size());
            path[line.size()] = '\0';
            RemoveAndNote(path, report);
            break;
        }
        case LogEntry::kUninstaller: // the running program: removed once it has ended
        case LogEntry::kInstallLog:  // removed last
            break;
        }
    }
    if (lines != nullptr) HeapFree(heap, 0, lines);
    HeapFree(heap, 0, text);
    return screen_saver_gone;
}

// Nothing is read from or removed out of folders that are not the administrators' alone:
// whoever owns one could have rewritten INSTALL.LOG, or put a program of theirs where
// UninstallString points. Checked first, then our rules written where they are wanting.
Securing SecureRemovalFolder(const OwnFolder& own, char* refused, size_t size) {
    SecurityAccess access = SystemSecurityAccess();
    access.create_folder = nullptr;
    const size_t own_levels_start = OwnLevelsStart(own);
    char log_path[kPathSize];
    BuildInstallLogPath(own.folder, log_path, sizeof log_path); // empty when it does not fit
    for (const SecuringStep step : {SecuringStep::kCheck, SecuringStep::kSecure}) {
        Securing secured =
            SecureOwnLevels(own.folder, own_levels_start, step, access, refused, size);
        if (secured == Securing::kSecured && log_path[0] != '\0')
            secured = SecureOwnFile(log_path, step, access, refused, size);
        if (secured != Securing::kSecured) return secured;
    }
    return Securing::kSecured;
}

Leftover LeftoverOf(Securing refusal) {
    switch (refusal) {
    case Securing::kForeign:
        return Leftover::kForeignOwner;
    case Securing::kLink:
        return Leftover::kLinkInstead;
    default:
        return Leftover::kUnprotected;
    }
}

void Tell(const RemovalReport& report, const char* name) {
    static char text[8192];
    FormatLeftovers(report, name, text, sizeof text);
    char caption[kPathSize + 16];
    FormatText(caption, sizeof caption, "%s Screen Saver", name);
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

bool Confirm(const char* name) {
    char question[kPathSize + 64];
    FormatText(question, sizeof question, "Remove %s Screen Saver and all of its files?", name);
    char caption[kPathSize + 16];
    FormatText(caption, sizeof caption, "%s Screen Saver", name);
    return MessageBoxA(nullptr, question, caption, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) ==
           IDYES;
}

// Nothing is touched: the program does not stand where its installer put it, or its folder is
// a link to somewhere else.
int Refuse(bool interactive, Leftover why, const char* where, const char* name) {
    static RemovalReport report;
    NoteLeftover(&report, why, where);
    if (interactive) Tell(report, name);
    return RemovalExitStatus(report);
}

} // namespace

int RunRemoval(bool interactive) {
    static RemovalReport report;
    static char module[kPathSize];
    static OwnFolder own;
    if (!OwnModulePath(module, sizeof module))
        return Refuse(interactive, Leftover::kNotInstalled, "", "This");
    if (!FindOwnFolder(module, &own)) {
        if (char* slash = std::strrchr(module, '\\')) *slash = '\0';
        return Refuse(interactive, Leftover::kNotInstalled, module, "This");
    }
    char folder[kPathSize];
    std::memcpy(folder, own.folder, std::strlen(own.folder) - 1);
    folder[std::strlen(own.folder) - 1] = '\0';
    // Held until the program ends, its last message answered and its copy started.
    if (TakeInstanceLock(own.base_name) == InstanceLock::kHeldElsewhere)
        return Refuse(interactive, Leftover::kBusyElsewhere, folder, own.base_name);
    if (IsLinkOrMissing(folder))
        return Refuse(interactive, Leftover::kFolderIsLink, folder, own.base_name);

    if (interactive && !Confirm(own.base_name)) return kUserDeclined;
    char refused[kPathSize];
    const Securing secured = SecureRemovalFolder(own, refused, sizeof refused);
    if (secured != Securing::kSecured)
        return Refuse(interactive, LeftoverOf(secured), refused, own.base_name);

    char windows[kPathSize];
    char screen_saver[kPathSize] = "";
    char screen_saver_short[kPathSize] = "";
    if (ReadWindowsDirectory(windows) &&
        ScreenSaverPathIn(windows, own.base_name, screen_saver, sizeof screen_saver)) {
        // Taken while the file still exists: the setting may name it by this path.
        const DWORD length =
            GetShortPathNameA(screen_saver, screen_saver_short, sizeof screen_saver_short);
        if (length == 0 || length >= sizeof screen_saver_short) screen_saver_short[0] = '\0';
    }

    if (RemoveLoggedFiles(own, screen_saver, &report))
        ClearScreenSaverSetting(screen_saver, screen_saver_short);
    if (!DeleteUninstallEntry(own)) NoteLeftover(&report, Leftover::kEntryKept, own.base_name);
    char log_path[kPathSize];
    if (BuildInstallLogPath(own.folder, log_path, sizeof log_path))
        RemoveAndNote(log_path, &report);
    // Let go of the levels, which the copy removes once this program has ended.
    ReleaseHeldLevels();
    static FinishingCopy copy;
    const bool prepared = PrepareFinishingCopy(module, &copy);
    if (!prepared) NoteLeftover(&report, Leftover::kScheduled, module);
    // Told before the copy starts waiting for this program to end.
    if (interactive && report.count > 0) Tell(report, own.base_name);
    if (!prepared || !StartFinishingCopy(&copy, module)) {
        LeaveSelfRemovalToRestart(module, own);
        return kSomethingRemains;
    }
    return RemovalExitStatus(report);
}
