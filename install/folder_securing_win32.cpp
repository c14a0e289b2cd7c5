#include "install/folder_securing_win32.h"

#include "install/folder_security.h"
#include "install/ownership_verdict.h"
#include "platform/fixed_text.h"

#include <windows.h>

#include <aclapi.h>

namespace {

// SetSecurityInfo's flag for a DACL that inherits nothing from above (Windows 2000 on; NT 4
// keeps it as given).
constexpr SECURITY_INFORMATION kProtectedDacl = 0x80000000u;
// The most a SID takes: a header and fifteen sub-authorities.
constexpr size_t kLargestSid = 8 + 4 * 15;
// Our three levels, each looked at up to three times: checked, then secured (twice when its
// rules are written).
constexpr int kMostHeld = 9;

HANDLE held[kMostHeld];
int held_count = 0;

bool machine_owner_read = false;
uint8_t machine_owner[kLargestSid];
size_t machine_owner_size = 0;

// The Windows 95 family keeps no owners or rules of files and cannot open a folder: there is
// nothing to judge, and nothing another user could be kept out of.
bool KeepsFileSecurity() {
    return (GetVersion() & 0x80000000u) == 0;
}

HANDLE OpenAsItself(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The system directory's owner: TrustedInstaller on today's Windows, the Administrators on XP;
// on a system that keeps no owners, the one user every file is said to belong to.
SecurityBytes MachineOwner() {
    if (!machine_owner_read) {
        machine_owner_read = true;
        char system[kPathSize];
        const UINT length = GetSystemDirectoryA(system, sizeof system);
        const HANDLE folder = length > 0 && length < sizeof system
                                  ? OpenAsItself(system, READ_CONTROL)
                                  : INVALID_HANDLE_VALUE;
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (folder != INVALID_HANDLE_VALUE &&
            GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                            nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
            owner != nullptr && IsValidSid(owner) && GetLengthSid(owner) <= sizeof machine_owner) {
            machine_owner_size = GetLengthSid(owner);
            CopyMemory(machine_owner, owner, machine_owner_size);
        }
        if (descriptor != nullptr) LocalFree(descriptor);
        if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
    }
    return {machine_owner_size ? machine_owner : nullptr, machine_owner_size};
}

PathSecurity Judge(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return PathSecurity::kForeign;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return PathSecurity::kLink;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        information.nNumberOfLinks > 1)
        return PathSecurity::kLink;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return PathSecurity::kForeign;
    const SecurityBytes owner_bytes = {static_cast<const uint8_t*>(owner),
                                       owner != nullptr && IsValidSid(owner) ? GetLengthSid(owner)
                                                                             : 0};
    const SecurityBytes dacl_bytes = {reinterpret_cast<const uint8_t*>(dacl),
                                      dacl != nullptr ? dacl->AclSize : 0u};
    const Ownership verdict = JudgeOwnership(owner_bytes, dacl_bytes, MachineOwner());
    LocalFree(descriptor);
    switch (verdict) {
    case Ownership::kOurs:
        return PathSecurity::kOurs;
    case Ownership::kLoose:
        return PathSecurity::kLoose;
    default:
        return PathSecurity::kForeign;
    }
}

bool WriteOurRules(HANDLE handle) {
    FolderSecurity security = MakeFolderSecurity();
    auto* rules = reinterpret_cast<PACL>(security.bytes + kFolderRulesOffset);
    return SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | kProtectedDacl,
                           nullptr, nullptr, rules, nullptr) == ERROR_SUCCESS;
}

void Hold(HANDLE handle) {
    if (held_count < kMostHeld)
        held[held_count++] = handle;
    else
        CloseHandle(handle);
}

PathSecurity Look(void*, const char* path, bool protect, bool hold) {
    if (!KeepsFileSecurity())
        return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? PathSecurity::kMissing
                                                                   : PathSecurity::kOurs;
    HANDLE handle = OpenAsItself(path, READ_CONTROL | WRITE_DAC);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        handle = OpenAsItself(path, READ_CONTROL);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? PathSecurity::kMissing
                   : PathSecurity::kForeign;
    }
    PathSecurity found = Judge(handle);
    // Judged again through the same handle: the rules must now read as ours.
    if (protect && found == PathSecurity::kLoose)
        found = WriteOurRules(handle) ? Judge(handle) : PathSecurity::kNoAccess;
    if (hold && (found == PathSecurity::kOurs || found == PathSecurity::kLoose))
        Hold(handle);
    else
        CloseHandle(handle);
    return found;
}

bool ForEachFile(void*, const char* folder, bool (*visit)(void*, const char*),
                 void* visit_context) {
    char pattern[kPathSize];
    if (!JoinPath(folder, "*", pattern, sizeof pattern)) return true;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool going_on = true;
    do {
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            continue; // "." and "..", and the folders of other screen savers
        char path[kPathSize];
        going_on =
            !JoinPath(folder, entry.cFileName, path, sizeof path) || visit(visit_context, path);
    } while (going_on && FindNextFileA(search, &entry));
    FindClose(search);
    return going_on;
}

void CreateFolder(void*, const char* path) {
    FolderSecurity owned = MakeFolderSecurity(true);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, owned.bytes, FALSE};
    if (CreateDirectoryA(path, &attributes) || GetLastError() == ERROR_ALREADY_EXISTS) return;
    // A program without an administrator's rights may not give the folder to them; it gets
    // the creator's default owner, and the judgement that follows decides.
    FolderSecurity plain = MakeFolderSecurity();
    attributes.lpSecurityDescriptor = plain.bytes;
    CreateDirectoryA(path, &attributes);
}

} // namespace

const SecurityAccess& SystemSecurityAccess() {
    static const SecurityAccess access = {nullptr, Look, ForEachFile, CreateFolder};
    return access;
}

void ReleaseHeldLevels() {
    while (held_count > 0)
        CloseHandle(held[--held_count]);
}
