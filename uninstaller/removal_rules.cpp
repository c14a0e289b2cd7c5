#include "uninstaller/removal_rules.h"

#include <cstring>

namespace {

bool Copy(std::string_view text, char* out, size_t size) {
    if (size == 0) return false;
    if (text.size() >= size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return true;
}

// Windows drops trailing dots and blanks from a file name: "a.dat. " names "a.dat".
std::string_view AsWindowsStoresIt(std::string_view name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.remove_suffix(1);
    return name;
}

// One level of a path that names a file or folder of its own: not empty, no separator, drive
// or stream colon, no wildcard or other character Windows refuses in names, not a device (by
// the installer's own rule, so that no name it installs is refused here, and no name it would
// refuse is taken), and not "." or ".." (nor another name Windows reduces to nothing).
bool IsPlainName(std::string_view name) {
    if (AsWindowsStoresIt(name).empty()) return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr)
            return false;
    return !IsReservedDeviceName(name);
}

// "X:\" or "\\server\share\": a path that does not depend on a current drive or folder.
size_t RootLength(std::string_view path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        return 3;
    if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.') {
        const size_t server_end = path.find('\\', 2);
        if (server_end == std::string_view::npos || server_end == 2) return 0;
        const size_t share_end = path.find('\\', server_end + 1);
        if (share_end == std::string_view::npos || share_end == server_end + 1) return 0;
        return share_end + 1;
    }
    return 0;
}

} // namespace

bool FindOwnFolder(std::string_view module_path, OwnFolder* out) {
    *out = OwnFolder{};
    const size_t root = RootLength(module_path);
    if (root == 0 || module_path.size() >= kPathSize) return false;
    // Every level below the root, the file name last, must be a plain name: no "." or ".."
    // that would make the folder some other folder than the one the path shows.
    std::string_view levels[kPathSize / 2];
    size_t count = 0;
    for (size_t start = root; start <= module_path.size();) {
        size_t end = module_path.find('\\', start);
        if (end == std::string_view::npos) end = module_path.size();
        const std::string_view level = Part(module_path, start, end - start);
        if (!IsPlainName(level) || count == sizeof levels / sizeof levels[0]) return false;
        levels[count++] = level;
        start = end + 1;
    }
    if (count < 4) return false;
    const std::string_view file = levels[count - 1];
    const std::string_view name = levels[count - 2];
    if (!EqualIgnoringAsciiCase(levels[count - 3], kProductLevel) ||
        !EqualIgnoringAsciiCase(levels[count - 4], kPublisherLevel))
        return false;
    const size_t folder_length = module_path.size() - file.size();
    out->product_level_end = folder_length - name.size() - 1;
    out->publisher_level_end = out->product_level_end - levels[count - 3].size() - 1;
    return Copy(Part(module_path, 0, folder_length), out->folder, sizeof out->folder) &&
           Copy(file, out->file_name, sizeof out->file_name) &&
           Copy(name, out->base_name, sizeof out->base_name);
}

bool ScreenSaverPathIn(const char* windows_directory, const char* base_name, char* out,
                       size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    return windows_directory[0] != '\0' && JoinPath(windows_directory, base_name, out, size) &&
           AppendPath(out, size, ".scr");
}

LogEntry ClassifyLogEntry(std::string_view line, const OwnFolder& own,
                          std::string_view screen_saver_path) {
    if (line.empty() || line.size() >= kPathSize) return LogEntry::kForeign;
    if (!screen_saver_path.empty() && EqualIgnoringAsciiCase(line, screen_saver_path))
        return LogEntry::kScreenSaver;
    const std::string_view folder = own.folder;
    if (folder.empty() || !StartsWithIgnoringAsciiCase(line, folder)) return LogEntry::kForeign;
    const std::string_view name = Part(line, folder.size());
    if (!IsPlainName(name)) return LogEntry::kForeign;
    const std::string_view stored = AsWindowsStoresIt(name);
    if (EqualIgnoringAsciiCase(stored, AsWindowsStoresIt(own.file_name)))
        return LogEntry::kUninstaller;
    if (EqualIgnoringAsciiCase(stored, kInstallLogName)) return LogEntry::kInstallLog;
    return LogEntry::kOwnFile;
}

bool SettingNamesScreenSaver(std::string_view setting, std::string_view long_path,
                             std::string_view short_path) {
    while (!setting.empty() && setting.front() == ' ')
        setting.remove_prefix(1);
    while (!setting.empty() && setting.back() == ' ')
        setting.remove_suffix(1);
    if (setting.empty()) return false;
    return EqualIgnoringAsciiCase(setting, long_path) ||
           (!short_path.empty() && EqualIgnoringAsciiCase(setting, short_path));
}

bool UninstallCommandRunsFrom(std::string_view command, const OwnFolder& own) {
    while (!command.empty() && command.front() == ' ')
        command.remove_prefix(1);
    const bool quoted = !command.empty() && command.front() == '"';
    if (quoted) command.remove_prefix(1);
    const std::string_view folder = own.folder;
    if (folder.empty() || !StartsWithIgnoringAsciiCase(command, folder)) return false;
    std::string_view program = Part(command, folder.size());
    // A quoted path ends at its quote; a bare one is the whole command, as the installer
    // writes it, or ends at a blank before arguments.
    const size_t end = program.find(quoted ? '"' : ' ');
    if (quoted && end == std::string_view::npos) return false;
    program = Part(program, 0, end);
    return IsPlainName(program);
}
