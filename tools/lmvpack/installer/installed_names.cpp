#include "tools/lmvpack/installer/installed_names.h"

#include "install/install_layout.h"
#include "install/install_paths.h"
#include "install/name_safety.h"
#include "package/member_names.h"
#include "tools/lmvpack/support/ansi_text.h"

#include <cctype>
#include <cstdio>

std::string TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

std::string InstalledName(uint32_t index, const MemberEntry& entry,
                          std::string_view screen_saver_name, uint16_t first_media_number) {
    const std::string base = TrimTrailingBlanks(screen_saver_name);
    switch (index) {
    case kScreenSaverMember:
        return base + ".scr";
    case kDataFileMember:
        return base + ".dat";
    case kUninstallerMember:
        return kInstalledUninstallerName;
    default: {
        char name[kPathSize];
        MediaFileName(entry, index, first_media_number, name, sizeof name);
        return name;
    }
    }
}

std::string FileNameProblem(std::string_view name) {
    if (name.empty()) return "is empty";
    if (name.find_first_not_of(". ") == std::string_view::npos)
        return "is made only of dots and blanks, which names no file of its own";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/')
            return "holds a path separator, which would place the file outside its folder";
        if (c == ':') return "holds \":\", which names a drive or a stream, not a file";
        if (byte < 0x20 || byte == 0x7F) return "holds a control character";
        if (std::string_view("*?\"<>|").find(c) != std::string_view::npos)
            return std::string("holds \"") + c + "\", which Windows refuses in file names";
    }
    if (name.back() == '.' || name.back() == ' ')
        return std::string("ends in ") + (name.back() == '.' ? "a dot" : "a blank") +
               ", which Windows drops from file and folder names while the install log and the "
               "Uninstall entry keep it: the uninstaller would not find what was installed";
    // The installer refuses device names by the same rule; the message names the device as
    // Windows reads it.
    if (IsReservedDeviceName(name)) {
        std::string device;
        for (const char c : TrimTrailingBlanks(name.substr(0, name.find('.'))))
            device += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return "names the device \"" + Windows1252ToUtf8(device) + "\", not a file";
    }
    return {};
}

std::string NonAsciiNameProblem(std::string_view utf8) {
    const std::string character = FirstNonAsciiCharacter(utf8);
    if (character.empty()) return {};
    return "holds " + character +
           ", which is not ASCII: the installer reads names in the code page of the Windows it "
           "runs on, where such a character becomes another one (on Japanese, Chinese or Korean "
           "Windows it can swallow the \"\\\" after it), so it refuses the package there; use "
           "ASCII letters, digits and punctuation";
}

bool NameFitsUnder(const char* data_folder, std::string_view name) {
    const std::string base(name);
    char folder[kPathSize] = "";
    char screen_saver_path[kPathSize];
    char destination[kPathSize];
    // The levels as the installation run adds them to the common application-data folder.
    if (!AppendPath(folder, sizeof folder, data_folder) ||
        !AppendOwnLevels(folder, sizeof folder, base.c_str()) ||
        !BuildScreenSaverPath("C:\\WINDOWS", (base + ".scr").c_str(), screen_saver_path,
                              sizeof screen_saver_path))
        return false;
    const InstallNames names = {base.c_str(), screen_saver_path, folder};
    const MemberEntry entry{};
    for (uint32_t index = kScreenSaverMember; index <= kUninstallerMember; ++index)
        if (!MemberDestination(index, entry, 1, names, destination, sizeof destination))
            return false;
    return BuildInstallLogPath(folder, destination, sizeof destination);
}

size_t LongestNameUnder(const char* data_folder) {
    size_t length = kMaxScreenSaverNameLength;
    while (length > 0 && !NameFitsUnder(data_folder, std::string(length, 'n')))
        --length;
    return length;
}

namespace {

// The data file's path, built as the installer builds it, with the name left open.
std::string DataFilePath(const char* data_folder) {
    char folder[kPathSize] = "";
    char path[kPathSize] = "";
    const InstallNames names = {"<name>", "", folder};
    if (AppendPath(folder, sizeof folder, data_folder) &&
        AppendOwnLevels(folder, sizeof folder, names.screen_saver_base_name))
        MemberDestination(kDataFileMember, MemberEntry{}, 1, names, path, sizeof path);
    return path;
}

} // namespace

std::string ScreenSaverNameProblem(std::string_view stored_name) {
    const std::string trimmed = TrimTrailingBlanks(stored_name);
    if (std::string why = FileNameProblem(trimmed); !why.empty()) return why;
    if (trimmed.size() > kMaxScreenSaverNameLength || !NameFitsUnder(kShortestDataFolder, trimmed))
        return "is " + std::to_string(trimmed.size()) +
               " bytes without its trailing blanks; a name holds at most " +
               std::to_string(LongestNameUnder(kShortestDataFolder)) +
               " bytes, since the data file's path " + DataFilePath(kShortestDataFolder) +
               " holds it twice within Windows' 259-character paths";
    return {};
}

std::string ScreenSaverNameWarning(std::string_view stored_name) {
    const std::string trimmed = TrimTrailingBlanks(stored_name);
    if (!ScreenSaverNameProblem(stored_name).empty() || NameFitsUnder(kLongestDataFolder, trimmed))
        return {};
    return "is " + std::to_string(trimmed.size()) +
           " bytes: it installs where the data folder is " + kShortestDataFolder +
           " (Windows Vista and later), but not on Windows XP, where " +
           DataFilePath(kLongestDataFolder) + " leaves room for " +
           std::to_string(LongestNameUnder(kLongestDataFolder)) + " bytes";
}
