#include "install/installation_run.h"
#include "install/link_safety.h"
#include "platform/system_paths_win32.h"

#include <cstring>

namespace {

using GetFinalPathProc = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
constexpr DWORD kFinalPathNormalisedDos = 0; // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
constexpr DWORD kFinalPathSize = 1024;       // "\\?\" and a path that may exceed MAX_PATH

// The path of what `path` leads to, every link on the way followed; false where the system
// cannot tell (GetFinalPathNameByHandleA came with Windows Vista, and links to files with it).
bool FinalPath(const char* path, DWORD flags, char (&out)[kFinalPathSize]) {
    const auto final_path = KernelProc<GetFinalPathProc>("GetFinalPathNameByHandleA");
    if (final_path == nullptr) return false;
    const HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD length = final_path(handle, out, kFinalPathSize, kFinalPathNormalisedDos);
    CloseHandle(handle);
    return length > 0 && length < kFinalPathSize;
}

// A file reached through a link at its own name: its final path is not its folder's final
// path followed by its name. (Links above it, such as a system folder moved by the
// administrator, show in both and do not count.) Some systems report a symbolic link to a
// file as a plain file; this is what gives it away there.
bool IsLinkedByName(const char* path) {
    const char* name = std::strrchr(path, '\\');
    if (name == nullptr || name == path) return false;
    char folder[kPathSize];
    const size_t folder_length = static_cast<size_t>(name - path);
    if (folder_length >= sizeof folder) return false;
    std::memcpy(folder, path, folder_length);
    folder[folder_length] = '\0';

    char file_final[kFinalPathSize], expected[kFinalPathSize];
    if (!FinalPath(path, FILE_ATTRIBUTE_NORMAL, file_final) ||
        !FinalPath(folder, FILE_FLAG_BACKUP_SEMANTICS, expected))
        return false;
    const size_t expected_length = std::strlen(expected);
    if (expected_length + std::strlen(name) >= sizeof expected) return false;
    std::memcpy(expected + expected_length, name, std::strlen(name) + 1);
    return lstrcmpiA(file_final, expected) != 0;
}

} // namespace

PathKind PathKindOnDisk(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::kLink;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kFolder;
    if (IsLinkedByName(path)) return PathKind::kLink;
    // The link itself, never what it leads to; no access asked, so nothing is in the way.
    const HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PathKind::kFile;
    BY_HANDLE_FILE_INFORMATION information;
    const bool linked =
        GetFileInformationByHandle(file, &information) && information.nNumberOfLinks > 1;
    CloseHandle(file);
    return linked ? PathKind::kLinkedFile : PathKind::kFile;
}
