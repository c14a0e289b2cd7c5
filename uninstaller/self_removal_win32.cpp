#include "uninstaller/self_removal_win32.h"

#include "install/folder_security.h"
#include "platform/format_text.h"
#include "platform/instance_lock.h"
#include "platform/system_paths_win32.h"
#include "uninstaller/file_removal_win32.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

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

bool StartCopy(const char* copy, const char* own_path) {
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

// A folder of our own in the Windows directory's "Temp": made fresh, with our rules (nothing
// that was there before is ever used), so that only the administrators can change what is
// put in it. Other users may add files to "Temp" but not rename or remove what is not theirs.
bool MakeCopyFolder(char (&folder)[kPathSize]) {
    char windows[kPathSize];
    if (!ReadWindowsDirectory(windows)) return false;
    FolderSecurity security = MakeFolderSecurity(true);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security.bytes, FALSE};
    DWORD unique = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 100; ++attempt, ++unique) {
        char name[32];
        FormatText(name, sizeof name, "Temp\\lmv%08lX.tmp", static_cast<unsigned long>(unique));
        if (!JoinPath(windows, name, folder, sizeof folder)) return false;
        if (CreateDirectoryA(folder, &attributes)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

// Only ever a folder that MakeCopyFolder makes is removed with the copy.
bool IsCopyFolder(const char* folder) {
    const char* name = std::strrchr(folder, '\\');
    char windows[kPathSize], temp[kPathSize], parent[kPathSize];
    if (name == nullptr || std::strncmp(name + 1, "lmv", 3) != 0 ||
        !ReadWindowsDirectory(windows) || !JoinPath(windows, "Temp", temp, sizeof temp))
        return false;
    const size_t parent_length = static_cast<size_t>(name - folder);
    if (parent_length >= sizeof parent) return false;
    std::memcpy(parent, folder, parent_length);
    parent[parent_length] = '\0';
    return lstrcmpiA(parent, temp) == 0;
}

// The copy and the folder made for it, when it is not to run.
void DiscardCopy(FinishingCopy* copy) {
    if (copy->held != INVALID_HANDLE_VALUE) CloseHandle(copy->held);
    copy->held = INVALID_HANDLE_VALUE;
    DeleteFileA(copy->path);
    if (char* slash = std::strrchr(copy->path, '\\')) {
        *slash = '\0';
        RemoveDirectoryA(copy->path);
    }
    copy->path[0] = '\0';
}

} // namespace

bool PrepareFinishingCopy(const char* own_path, FinishingCopy* copy) {
    copy->path[0] = '\0';
    copy->held = INVALID_HANDLE_VALUE;
    char folder[kPathSize];
    const char* name = std::strrchr(own_path, '\\');
    if (name == nullptr || !MakeCopyFolder(folder)) return false;
    if (!JoinPath(folder, name + 1, copy->path, sizeof copy->path)) {
        RemoveDirectoryA(folder);
        return false;
    }
    // Held against writers and deleters until the copy runs: the file started is the one made.
    if (CopyFileA(own_path, copy->path, TRUE))
        copy->held = CreateFileA(copy->path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 0, nullptr);
    if (copy->held != INVALID_HANDLE_VALUE) return true;
    DiscardCopy(copy);
    return false;
}

bool StartFinishingCopy(FinishingCopy* copy, const char* own_path) {
    const bool started = StartCopy(copy->path, own_path);
    CloseHandle(copy->held);
    copy->held = INVALID_HANDLE_VALUE;
    if (!started) DiscardCopy(copy);
    return started;
}

void LeaveSelfRemovalToRestart(const char* own_path, const OwnFolder& own) {
    ScheduleRemovalAtRestart(own_path);
    RemoveFolderLevels(own, true);
}

void FinishSelfRemoval(const UninstallArguments& arguments) {
    const HANDLE ended = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(arguments.ended_process));
    // However long the uninstaller takes to end (its last message waits for the user), its
    // file cannot go before.
    if (ended != nullptr) {
        WaitForSingleObject(ended, INFINITE);
        CloseHandle(ended);
    }
    OwnFolder own;
    // An installer or uninstaller of the screen saver that has started since then owns its
    // folder now: what it writes there is not ours to remove.
    if (arguments.original[0] != '\0' && FindOwnFolder(arguments.original, &own) &&
        TakeInstanceLock(own.base_name) != InstanceLock::kHeldElsewhere) {
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
    ReleaseInstanceLock();
    char self[kPathSize];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self || !ScheduleRemovalAtRestart(self)) return;
    // And the folder it was made in, once emptied.
    if (char* slash = std::strrchr(self, '\\')) {
        *slash = '\0';
        if (IsCopyFolder(self)) ScheduleRemovalAtRestart(self);
    }
}
