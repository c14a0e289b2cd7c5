#include "install/install_securing.h"

#include "install/link_safety.h"

#include <cstring>

namespace {

struct FileWalk {
    const char* folder;
    SecuringStep step;
    const SecurityAccess* access;
    char* refused;
    size_t size;
    Securing outcome;
};

bool DestinationIsSecured(void* context, const char* path) {
    auto* walk = static_cast<FileWalk*>(context);
    if (std::strncmp(path, walk->folder, std::strlen(walk->folder)) != 0) return true;
    walk->outcome = SecureOwnFile(path, walk->step, *walk->access, walk->refused, walk->size);
    return walk->outcome == Securing::kSecured;
}

} // namespace

Securing SecureInstallPaths(const InstallNames& names, size_t own_levels_start, SecuringStep step,
                            const SecurityAccess& access, char* refused, size_t size) {
    if (size > 0) refused[0] = '\0';
    if (names.shared_data_folder[0] == '\0') return Securing::kSecured;
    const Securing levels =
        SecureOwnLevels(names.shared_data_folder, own_levels_start, step, access, refused, size);
    if (levels != Securing::kSecured) return levels;
    FileWalk walk = {names.shared_data_folder, step, &access, refused, size, Securing::kSecured};
    ForEachInstallDestination(names, DestinationIsSecured, &walk);
    return walk.outcome;
}
