#include "install/name_safety.h"

#include "package/package_passes.h"

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
    // screen saver of the publisher shares, so it is refused as well.
    return !only_dots_and_blanks;
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
