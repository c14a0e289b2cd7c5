#include "tools/lmvpack/installed_names.h"

#include "install/name_safety.h"
#include "package/member_names.h"
#include "tools/lmvpack/ansi_text.h"

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
        return "UNINSTAL.EXE";
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
    // The installer refuses device names by the same rule; the message names the device as
    // Windows reads it.
    if (IsReservedDeviceName(std::string(name).c_str())) {
        std::string device;
        for (const char c : TrimTrailingBlanks(name.substr(0, name.find('.'))))
            device += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return "names the device \"" + Windows1252ToUtf8(device) + "\", not a file";
    }
    return {};
}

std::string ScreenSaverNameProblem(std::string_view stored_name) {
    const std::string trimmed = TrimTrailingBlanks(stored_name);
    if (std::string why = FileNameProblem(trimmed); !why.empty()) return why;
    if (trimmed.size() > kMaxScreenSaverNameLength)
        return "is " + std::to_string(trimmed.size()) +
               " bytes without its trailing blanks; the installer needs room for \".scr\" in a "
               "260-byte file name, so a name holds at most 255 bytes";
    return {};
}
