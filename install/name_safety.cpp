#include "install/name_safety.h"

#include "package/package_reading.h"

#include <cstddef>
#include <cstring>

namespace {

bool IsSeparatorOrDrive(char c) {
    return c == '\\' || c == '/' || c == ':';
}

} // namespace

bool IsSafeBaseName(const char* base_name) {
    bool only_dots_and_blanks = true;
    for (const char* c = base_name; *c != '\0'; ++c) {
        if (IsSeparatorOrDrive(*c)) return false;
        if (*c != '.' && *c != ' ') only_dots_and_blanks = false;
    }
    // An empty name adds no level of its own: the files would land in the folder that every
    // screen saver of the publisher shares, so it is refused as well. A device name would
    // send the screen saver to the device and leave a folder no one can open.
    if (only_dots_and_blanks || IsReservedDeviceName(base_name)) return false;
    const char last = base_name[std::strlen(base_name) - 1];
    return last != '.' && last != ' ';
}

bool NameReadsAlikeInCodePage(const char* stored_name, uint32_t code_page) {
    if (code_page == kPackageCodePage) return true;
    for (const char* c = stored_name; *c != '\0'; ++c)
        if (static_cast<unsigned char>(*c) > 127) return false;
    return true;
}

bool IsUsableScreenSaverName(const char* stored_name) {
    char name[kScreenSaverNameSize];
    size_t length = 0;
    while (length + 1 < sizeof name && stored_name[length] != '\0') {
        name[length] = stored_name[length];
        ++length;
    }
    length = LengthWithoutTrailingBlanks(name, length);
    name[length] = '\0';
    // "<name>.scr" must fit a path buffer with its terminator.
    return length + 4 < kPathSize && IsSafeBaseName(name);
}

bool IsSafeNameSuffix(const MemberEntry& entry) {
    for (size_t at = 0; at < kNameSuffixSize && entry.NameSuffix[at] != '\0'; ++at)
        if (IsSeparatorOrDrive(entry.NameSuffix[at])) return false;
    return true;
}

bool MemberNamesAreSafe() {
    uint16_t first_media_number = 0;
    const FileHandle package = OpenMemberTable(&first_media_number);
    if (package == kNoFile) return true;
    bool safe = true;
    MemberEntry entry;
    for (uint32_t index = 0; safe && ReadMemberEntry(package, &entry) && entry.StoredSize != 0;
         ++index)
        if (index >= kFirstMediaMember && !IsSafeNameSuffix(entry)) safe = false;
    PlatClose(package);
    return safe;
}
