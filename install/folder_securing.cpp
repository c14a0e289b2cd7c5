#include "install/folder_securing.h"

#include "platform/fixed_text.h"

#include <cstring>

namespace {

struct Refusal {
    char* path;
    size_t size;
};

// Names `path` as the refused one; paths come from 260-byte buffers, and the caller's buffer
// holds one, but a cut name is still better than none.
Securing Refuse(const Refusal& refusal, Securing why, const char* path) {
    if (refusal.size == 0) return why;
    const size_t length = std::strlen(path);
    const size_t kept = length < refusal.size ? length : refusal.size - 1;
    std::memcpy(refusal.path, path, kept);
    refusal.path[kept] = '\0';
    return why;
}

Securing Refused(const Refusal& refusal, PathSecurity found, const char* path) {
    switch (found) {
    case PathSecurity::kForeign:
        return Refuse(refusal, Securing::kForeign, path);
    case PathSecurity::kLink:
        return Refuse(refusal, Securing::kLink, path);
    case PathSecurity::kNoAccess:
        return Refuse(refusal, Securing::kNoAccess, path);
    default:
        return Securing::kSecured;
    }
}

struct FileSearch {
    const SecurityAccess* access;
    Refusal refusal;
    Securing outcome;
};

// A file that someone else put into a level of ours while others could still add files there.
bool FileIsOurs(void* context, const char* path) {
    auto* search = static_cast<FileSearch*>(context);
    search->outcome = Refused(
        search->refusal, search->access->look(search->access->context, path, false, false), path);
    return search->outcome == Securing::kSecured;
}

Securing FilesInsideAreOurs(const char* level, const SecurityAccess& access,
                            const Refusal& refusal) {
    FileSearch search = {&access, refusal, Securing::kSecured};
    access.for_each_file(access.context, level, FileIsOurs, &search);
    return search.outcome;
}

struct LevelWalk {
    SecuringStep step;
    const SecurityAccess* access;
    Refusal refusal;
    Securing outcome;
    bool reached_missing;
};

Securing SecureLevel(LevelWalk* walk, const char* level) {
    const SecurityAccess& access = *walk->access;
    if (walk->step == SecuringStep::kSecure && access.create_folder != nullptr)
        access.create_folder(access.context, level);
    const PathSecurity found = access.look(access.context, level, false, true);
    if (found == PathSecurity::kMissing) {
        walk->reached_missing = true;
        return Securing::kSecured;
    }
    if (found != PathSecurity::kLoose) return Refused(walk->refusal, found, level);
    // Someone else may have added files while others could: none of theirs may stay, before
    // the rules are written and after (a file added in between).
    Securing outcome = FilesInsideAreOurs(level, access, walk->refusal);
    if (outcome != Securing::kSecured || walk->step == SecuringStep::kCheck) return outcome;
    const PathSecurity secured = access.look(access.context, level, true, true);
    if (secured != PathSecurity::kOurs)
        return Refused(walk->refusal,
                       secured == PathSecurity::kLoose ? PathSecurity::kNoAccess : secured, level);
    return FilesInsideAreOurs(level, access, walk->refusal);
}

bool LevelIsSecured(void* context, const char* level) {
    auto* walk = static_cast<LevelWalk*>(context);
    walk->outcome = SecureLevel(walk, level);
    return walk->outcome == Securing::kSecured && !walk->reached_missing;
}

} // namespace

bool ForEachOwnFolderLevel(const char* folder, size_t own_levels_start,
                           bool (*visit)(void* context, const char* level), void* context) {
    char level[kPathSize];
    const size_t length = std::strlen(folder);
    for (size_t at = own_levels_start; at < length && at < sizeof level; ++at) {
        if (folder[at] != '\\') continue;
        // A separator right at the start (levels hanging from a drive's root) or doubled
        // closes no level of ours.
        if (at == own_levels_start || folder[at - 1] == '\\') continue;
        std::memcpy(level, folder, at);
        level[at] = '\0';
        if (!visit(context, level)) return false;
    }
    return true;
}

Securing SecureOwnLevels(const char* folder, size_t own_levels_start, SecuringStep step,
                         const SecurityAccess& access, char* refused, size_t size) {
    if (size > 0) refused[0] = '\0';
    LevelWalk walk = {step, &access, {refused, size}, Securing::kSecured, false};
    ForEachOwnFolderLevel(folder, own_levels_start, LevelIsSecured, &walk);
    return walk.outcome;
}

Securing SecureOwnFile(const char* path, SecuringStep step, const SecurityAccess& access,
                       char* refused, size_t size) {
    if (size > 0) refused[0] = '\0';
    const Refusal refusal = {refused, size};
    const PathSecurity found =
        access.look(access.context, path, step == SecuringStep::kSecure, false);
    if (found == PathSecurity::kLoose && step == SecuringStep::kSecure)
        return Refuse(refusal, Securing::kNoAccess, path);
    return Refused(refusal, found, path);
}
