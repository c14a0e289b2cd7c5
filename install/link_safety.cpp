#include "install/link_safety.h"

#include "install/install_layout.h"
#include "package/package_reading.h"

#include <cstring>

namespace {

struct Search {
    PathKindOf kind_of;
    char* refused;
    size_t size;
};

// Records `path` as the refused one; paths come from 260-byte buffers, and the caller's
// buffer holds one, but a cut name is still better than none.
bool Refuse(const Search& search, const char* path) {
    const size_t length = std::strlen(path);
    const size_t kept = length < search.size ? length : search.size - 1;
    std::memcpy(search.refused, path, kept);
    search.refused[kept] = '\0';
    return false;
}

bool LevelIsUnlinked(void* context, const char* level) {
    const Search& search = *static_cast<const Search*>(context);
    return search.kind_of(level) == PathKind::kLink ? Refuse(search, level) : true;
}

bool DestinationIsUnlinked(void* context, const char* path) {
    const Search& search = *static_cast<const Search*>(context);
    const PathKind kind = search.kind_of(path);
    return kind == PathKind::kLink || kind == PathKind::kLinkedFile ? Refuse(search, path) : true;
}

} // namespace

bool ForEachInstallDestination(const InstallNames& names,
                               bool (*visit)(void* context, const char* path), void* context) {
    if (names.shared_data_folder[0] != '\0') {
        char log[kPathSize];
        if (BuildInstallLogPath(names.shared_data_folder, log, sizeof log) && !visit(context, log))
            return false;
    }
    uint16_t first_media_number = 0;
    const FileHandle package = OpenMemberTable(&first_media_number);
    if (package == kNoFile) return true;
    bool visited = true;
    MemberEntry entry;
    char destination[kPathSize];
    for (uint32_t index = 0; visited && ReadMemberEntry(package, &entry) && entry.StoredSize != 0;
         ++index)
        if (MemberDestination(index, entry, first_media_number, names, destination,
                              sizeof destination))
            visited = visit(context, destination);
    PlatClose(package);
    return visited;
}

bool InstallPathsAreUnlinked(const InstallNames& names, size_t own_levels_start, PathKindOf kind_of,
                             char* refused, size_t size) {
    if (size == 0) return false;
    refused[0] = '\0';
    Search search = {kind_of, refused, size};
    if (names.shared_data_folder[0] != '\0' &&
        !ForEachOwnFolderLevel(names.shared_data_folder, own_levels_start, LevelIsUnlinked,
                               &search))
        return false;
    return ForEachInstallDestination(names, DestinationIsUnlinked, &search);
}
