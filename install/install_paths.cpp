#include "install/install_paths.h"

#include "package/member_names.h"

#include <cstring>

namespace {

constexpr const char kUninstallKeyRoot[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool Refuse(char* buffer, size_t size) {
    if (size > 0) buffer[0] = '\0';
    return false;
}

bool CopyPath(char* out, size_t size, const char* text) {
    if (size == 0) return false;
    out[0] = '\0';
    return AppendPath(out, size, text);
}

bool EndsInBackslash(const char* text) {
    const size_t length = std::strlen(text);
    return length > 0 && text[length - 1] == '\\';
}

} // namespace

bool AppendPath(char* buffer, size_t size, const char* text) {
    if (size == 0) return false;
    const size_t length = strnlen(buffer, size);
    const size_t added = std::strlen(text);
    if (length >= size || added >= size - length) return Refuse(buffer, size);
    std::memcpy(buffer + length, text, added + 1);
    return true;
}

bool AppendPathLevel(char* buffer, size_t size, const char* level) {
    if (size == 0) return false;
    if (!EndsInBackslash(buffer) && !AppendPath(buffer, size, "\\")) return false;
    return AppendPath(buffer, size, level);
}

bool BuildScreenSaverBaseName(const char* screen_saver_file, char* out, size_t size) {
    if (!CopyPath(out, size, screen_saver_file)) return false;
    if (char* dot = std::strrchr(out, '.')) *dot = '\0';
    return true;
}

bool BuildUninstallKeyPath(const char* screen_saver_file, char* out, size_t size) {
    // Cut at the last "." of the whole key path: a base name may hold dots of its own, only
    // the extension goes.
    if (!CopyPath(out, size, kUninstallKeyRoot) || !AppendPath(out, size, "\\") ||
        !AppendPath(out, size, screen_saver_file))
        return false;
    if (char* dot = std::strrchr(out, '.')) *dot = '\0';
    return true;
}

bool BuildScreenSaverPath(const char* windows_directory, const char* screen_saver_file, char* out,
                          size_t size) {
    return CopyPath(out, size, windows_directory) && AppendPathLevel(out, size, screen_saver_file);
}

bool MemberDestination(uint32_t index, const MemberEntry& entry, uint16_t first_media_number,
                       const InstallNames& names, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    if (index == kScreenSaverMember) {
        if (names.screen_saver_path[0] == '\0') return false;
        return CopyPath(out, size, names.screen_saver_path);
    }
    if (names.shared_data_folder[0] == '\0' || !CopyPath(out, size, names.shared_data_folder))
        return false;
    if (index == kDataFileMember)
        return AppendPath(out, size, names.screen_saver_base_name) && AppendPath(out, size, ".dat");
    if (index == kUninstallerMember) return AppendPath(out, size, "UNINSTAL.EXE");

    // Prefix, at most ten digits and fifteen suffix characters: 64 bytes always hold it.
    char file_name[64];
    MediaFileName(entry, index, first_media_number, file_name, sizeof file_name);
    if (!AppendPath(out, size, file_name)) return false;
    size_t length = std::strlen(out);
    while (length > 0 && out[length - 1] == ' ')
        out[--length] = '\0';
    return true;
}
