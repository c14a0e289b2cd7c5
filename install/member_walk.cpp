#include "install/member_walk.h"

#include "decode/member_extraction.h"
#include "install/installer_state.h"
#include "package/package_reading.h"

MemberWalkResult WalkMemberTable(FileHandle package, uint16_t first_media_number,
                                 uint8_t* copy_buffer, const InstallNames& names,
                                 const MemberWalkHooks& hooks) {
    uint32_t passed_over = 0;
    MemberEntry entry;
    if (package == kNoFile || copy_buffer == nullptr || !ReadMemberEntry(package, &entry))
        return {package, false, passed_over, false, 0};

    for (uint32_t index = 0; entry.StoredSize != 0; ++index) {
        ProtectedMember = 0;
        if (index == kUninstallerMember) ProtectedMember = 1;
        char destination[kPathSize];
        const bool has_destination = MemberDestination(index, entry, first_media_number, names,
                                                       destination, sizeof destination);
        if (!has_destination) ++passed_over;
        if (has_destination && index == kUninstallerMember)
            hooks.register_uninstaller(hooks.context, destination);

        // The position just after this entry; every member's data lie elsewhere.
        const int32_t next_entry = PlatSeek(package, 0, kFromCurrent);
        if (next_entry == -1) return {package, false, passed_over, false, index};

        if (has_destination) {
            // Logged before it is written: the uninstaller must find every file a run created,
            // a part-written one included.
            hooks.log_member(hooks.context, destination);
            ExtractResult extracted;
            if (IsCompressed(entry)) {
                // The decoder reads the installer's file through a stream of its own.
                PlatClose(package);
                extracted = ExtractMember(kNoFile, copy_buffer, entry, destination, hooks.poll);
                package = hooks.locate_package();
            } else {
                extracted = ExtractMember(package, copy_buffer, entry, destination, hooks.poll);
            }
            if (extracted == kMemberNotWritten) return {package, false, passed_over, true, index};
            // A package that ends inside a member's data has lost every member after it too.
            if (package == kNoFile || extracted == kMemberCutShort)
                return {package, false, passed_over, false, index};
        }

        if (PlatSeek(package, next_entry, kFromStart) != next_entry ||
            !ReadMemberEntry(package, &entry))
            return {package, false, passed_over, false, index};
        if (AbortRequested == 0 && index >= kFirstMediaMember && has_destination)
            hooks.probe_media(hooks.context, destination);
    }
    return {package, true, passed_over, false, 0};
}

void ForEachMemberDestination(uint32_t last_member, const InstallNames& names,
                              void (*visit)(void* context, const char* destination),
                              void* context) {
    uint16_t first_media_number = 0;
    const FileHandle table = OpenMemberTable(&first_media_number);
    if (table == kNoFile) return;
    MemberEntry entry;
    for (uint32_t index = 0;
         index <= last_member && ReadMemberEntry(table, &entry) && entry.StoredSize != 0; ++index) {
        char destination[kPathSize];
        if (MemberDestination(index, entry, first_media_number, names, destination,
                              sizeof destination))
            visit(context, destination);
    }
    PlatClose(table);
}
