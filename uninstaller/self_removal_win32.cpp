#include "uninstaller/self_removal_win32.h"

#include "uninstaller/file_removal_win32.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr DWORD kWaitForUninstallerMs = 60000;
constexpr int kDeleteAttempts = 50;
constexpr DWORD kDeleteRetryMs = 100;

// A folder path without its closing backslash, as the folder calls want it.
bool FolderLevel(const char* folder, size_t length, char* out, size_t size) {
    while (length > 0 && folder[length - 1] == '\\')
        --length;
    if (length == 0 || length >= size) return false;
    std::memcpy(out, folder, length);
    out[length] = '\0';
    return true;
}

// The own folder, then "Lumenvault", then "Tarrowby": each removed when it is empty and not a
// link; a level that still holds something stops the climb. With `schedule`, an own folder that
// still holds something (a file scheduled for removal, most likely) is left to the next
// restart together with the levels above, in that order, so that they go once emptied.
void RemoveFolderLevels(const OwnFolder& own, bool schedule) {
    const size_t ends[] = {std::strlen(own.folder), own.product_level_end, own.publisher_level_end};
    char levels[3][kPathSize];
    for (size_t i = 0; i < 3; ++i)
        if (!FolderLevel(own.folder, ends[i], levels[i], sizeof levels[i])) return;
    for (size_t i = 0; i < 3; ++i) {
        if (IsLinkOrMissing(levels[i])) return;
        if (RemoveDirectoryA(levels[i])) continue;
        if (i == 0 && schedule)
            for (size_t j = 0; j < 3 && !IsLinkOrMissing(levels[j]); ++j)
                ScheduleRemovalAtRestart(levels[j]);
        return;
    }
}

// Removes the uninstaller file once its process has let go of it.
FileRemoval RemoveEndedUninstaller(const char* path) {
    FileRemoval result = FileRemoval::kBusy;
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        result = RemoveInstalledFile(path, WhenBusy::kReport);
        if (result != FileRemoval::kBusy) break;
        Sleep(kDeleteRetryMs);
    }
    if (result == FileRemoval::kBusy) result = RemoveInstalledFile(path, WhenBusy::kSchedule);
    return result;
}

bool StartFinishingCopy(const char* copy, const char* own_path) {
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                         SYNCHRONIZE, TRUE, 0))
        return false;
    char command[3 * kPathSize];
    bool started = false;
    if (BuildFinishCommand(copy, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(self)), own_path,
                           command, sizeof command)) {
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        ZeroMemory(&process, sizeof process);
        started = CreateProcessA(copy, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process) != FALSE;
        if (started) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    CloseHandle(self);
    return started;
}

bool StartCopyInTemporaryFolder(const char* own_path) {
    char folder[kPathSize];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return false;
    char copy[kPathSize];
    if (GetTempFileNameA(folder, "lmv", 0, copy) == 0) return false;
    // Held open against writers until the copy runs, so that nobody can change the file
    // between the copy and the start.
    HANDLE guard = INVALID_HANDLE_VALUE;
    if (CopyFileA(own_path, copy, FALSE))
        guard =
            CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool started = guard != INVALID_HANDLE_VALUE && StartFinishingCopy(copy, own_path);
    if (guard != INVALID_HANDLE_VALUE) CloseHandle(guard);
    if (!started) DeleteFileA(copy);
    return started;
}

} // namespace

bool HandOverSelfRemoval(const char* own_path, const OwnFolder& own) {
    if (StartCopyInTemporaryFolder(own_path)) return true;
    ScheduleRemovalAtRestart(own_path);
    RemoveFolderLevels(own, true);
    return false;
}

void FinishSelfRemoval(const UninstallArguments& arguments) {
    const HANDLE ended = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(arguments.ended_process));
    if (ended != nullptr) {
        WaitForSingleObject(ended, kWaitForUninstallerMs);
        CloseHandle(ended);
    }
    OwnFolder own;
    if (arguments.original[0] != '\0' && FindOwnFolder(arguments.original, &own)) {
        char level[kPathSize];
        const bool folder_ok =
            FolderLevel(own.folder, std::strlen(own.folder), level, sizeof level) &&
            !IsLinkOrMissing(level);
        if (folder_ok) {
            const FileRemoval removal = RemoveEndedUninstaller(arguments.original);
            RemoveFolderLevels(own, removal == FileRemoval::kScheduled ||
                                        removal == FileRemoval::kRemoved ||
                                        removal == FileRemoval::kAlreadyGone);
        }
    }
    char self[kPathSize];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length > 0 && length < sizeof self) ScheduleRemovalAtRestart(self);
}
