#include "frontend/package_checks.h"

#include "install/installer_state.h"
#include "install/name_safety.h"
#include "package/package_reading.h"

#include <cstdint>

namespace {

// A table that ends before its first member holds no package: the stub as built reads so.
bool TableHoldsAMember() {
    uint16_t first_media_number = 0;
    const FileHandle table = OpenMemberTable(&first_media_number);
    if (table == kNoFile) return false;
    MemberEntry entry;
    const bool found = ReadMemberEntry(table, &entry) && entry.StoredSize != 0;
    PlatClose(table);
    return found;
}

} // namespace

PackageRefusal CheckPackageBeforeAsking(bool header_read, uint32_t ansi_code_page) {
    // An unreadable package has no name of its own to judge, and a table that breaks off
    // would install part of a screen saver: both are one fault to the user.
    uint32_t total_size = 0;
    if (!header_read || !SumMemberSizes(&total_size) || !TableHoldsAMember())
        return PackageRefusal::kDamagedOrMissing;
    if (!IsUsableScreenSaverName(ScreenSaverName) ||
        !NameReadsAlikeInCodePage(ScreenSaverName, ansi_code_page))
        return PackageRefusal::kUnusableName;
    if (!MemberNamesAreSafe()) return PackageRefusal::kNameOutsideFolders;
    return PackageRefusal::kNone;
}

const char* RefusalText(PackageRefusal refusal) {
    switch (refusal) {
    case PackageRefusal::kDamagedOrMissing:
        return "The screen saver package inside this installer is damaged or missing, so "
               "nothing can be installed.  Please download the installer again.";
    case PackageRefusal::kUnusableName:
        return "The screen saver's name in this package cannot be used as a file name.";
    case PackageRefusal::kNameOutsideFolders:
        return "This installation package names a file outside the folders it installs into. "
               "It cannot be installed, and nothing has been changed.";
    case PackageRefusal::kNone:
        break;
    }
    return "";
}
