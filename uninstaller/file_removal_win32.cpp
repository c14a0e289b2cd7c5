#include "uninstaller/file_removal_win32.h"

#include "platform/system_paths_win32.h"

namespace {

// Declared here because the headers of the oldest target system do not know them.
constexpr DWORD kOpenReparsePoint = 0x00200000; // FILE_FLAG_OPEN_REPARSE_POINT
constexpr DWORD kReparsePointAttribute = 0x400; // FILE_ATTRIBUTE_REPARSE_POINT
constexpr int kFileBasicInfo = 0;               // FILE_INFO_BY_HANDLE_CLASS values
constexpr int kFileDispositionInfo = 4;

struct FileBasicInfo {
    LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime; // 0: unchanged
    DWORD FileAttributes;
};

struct FileDispositionInfo {
    BOOLEAN DeleteFile;
};

using SetFileInformationByHandleProc = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

SetFileInformationByHandleProc SetInformationByHandle() {
    return KernelProc<SetFileInformationByHandleProc>("SetFileInformationByHandle");
}

bool IsGone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// In use by another program, or refused for the moment (a running program's file).
bool IsBusy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

HANDLE OpenAsItself(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, kOpenReparsePoint, nullptr);
}

// Why the file must stay, or kRemoved when it may go.
FileRemoval Judge(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return FileRemoval::kFailed;
    if ((info.dwFileAttributes & kReparsePointAttribute) != 0) return FileRemoval::kLink;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileRemoval::kNotAFile;
    // Deleting one name of a file with several would leave its content under the others, and
    // the other names may be anywhere on the volume: the file is not ours alone.
    if (info.nNumberOfLinks > 1) return FileRemoval::kHardLinked;
    return FileRemoval::kRemoved;
}

bool ClearReadOnly(HANDLE file, const char* path, SetFileInformationByHandleProc set_info) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
    DWORD attributes = info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    if (set_info != nullptr) {
        FileBasicInfo basic{};
        basic.FileAttributes = attributes;
        return set_info(file, kFileBasicInfo, &basic, sizeof basic) != FALSE;
    }
    return SetFileAttributesA(path, attributes) != FALSE;
}

// The file could not be opened for deletion: look at it without asking for any access that
// another program's open could refuse, and schedule it when it is a plain file of ours.
FileRemoval ScheduleIfPlainFile(const char* path, WhenBusy when_busy) {
    const HANDLE file = OpenAsItself(path, FILE_READ_ATTRIBUTES);
    FileRemoval verdict;
    if (file != INVALID_HANDLE_VALUE) {
        verdict = Judge(file);
        CloseHandle(file);
    } else {
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) return FileRemoval::kFailed;
        verdict = (attributes & kReparsePointAttribute) != 0     ? FileRemoval::kLink
                  : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileRemoval::kNotAFile
                                                                 : FileRemoval::kRemoved;
    }
    if (verdict != FileRemoval::kRemoved) return verdict;
    if (when_busy == WhenBusy::kReport) return FileRemoval::kBusy;
    return ScheduleRemovalAtRestart(path) ? FileRemoval::kScheduled : FileRemoval::kFailed;
}

} // namespace

FileRemoval RemoveInstalledFile(const char* path, WhenBusy when_busy) {
    const HANDLE file = OpenAsItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (IsGone(error)) return FileRemoval::kAlreadyGone;
        if (IsBusy(error)) return ScheduleIfPlainFile(path, when_busy);
        return FileRemoval::kFailed;
    }
    const FileRemoval verdict = Judge(file);
    if (verdict != FileRemoval::kRemoved) {
        CloseHandle(file);
        return verdict;
    }
    const SetFileInformationByHandleProc set_info = SetInformationByHandle();
    // A read-only file cannot be deleted: it was installed by us, so it is made writable.
    ClearReadOnly(file, path, set_info);
    bool deleted;
    DWORD error = ERROR_SUCCESS;
    if (set_info != nullptr) {
        FileDispositionInfo disposition{TRUE};
        deleted = set_info(file, kFileDispositionInfo, &disposition, sizeof disposition) != FALSE;
        if (!deleted) error = GetLastError();
        CloseHandle(file);
    } else {
        CloseHandle(file);
        deleted = DeleteFileA(path) != FALSE;
        if (!deleted) error = GetLastError();
    }
    if (deleted || IsGone(error)) return FileRemoval::kRemoved;
    if (!IsBusy(error)) return FileRemoval::kFailed;
    if (when_busy == WhenBusy::kReport) return FileRemoval::kBusy;
    return ScheduleRemovalAtRestart(path) ? FileRemoval::kScheduled : FileRemoval::kFailed;
}

bool IsLinkOrMissing(const char* folder) {
    const DWORD attributes = GetFileAttributesA(folder);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & kReparsePointAttribute) != 0 ||
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool ScheduleRemovalAtRestart(const char* path) {
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}
