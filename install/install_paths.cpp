#include "install/install_paths.h"

#include "install/install_layout.h"
#include "package/member_names.h"

#include <cstring>

namespace {

bool CopyPath(char* out, size_t size, const char* text) {
    if (size == 0) return false;
    out[0] = '\0';
    return AppendPath(out, size, text);
}

} // namespace

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
    return JoinPath(windows_directory, screen_saver_file, out, size);
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
    if (index == kUninstallerMember) return AppendPath(out, size, kInstalledUninstallerName);

    // Prefix, at most ten digits and fifteen suffix characters: 64 bytes always hold it.
    char file_name[64];
    MediaFileName(entry, index, first_media_number, file_name, sizeof file_name);
    if (!AppendPath(out, size, file_name)) return false;
    RemoveTrailingBlanks(out);
    return true;
}
