// TakeBackInstallation: after a write that failed (a full disk), the run removes what it had
// written, as the uninstaller removes a cancelled installation, so that no screen saver is left
// in the Windows directory that nothing could remove.
#include "install/install_layout.h"
#include "install/installation_run.h"
#include "install/installer_state.h"
#include "install/link_safety.h"
#include "install/member_walk.h"

#include <cstring>

namespace {

// The installer's own levels of SharedDataFolder, by their length, outermost first.
struct OwnLevels {
    size_t lengths[kPathSize / 2];
    size_t count;
};

bool NoteLevel(void* context, const char* level) {
    auto* levels = static_cast<OwnLevels*>(context);
    if (levels->count < sizeof levels->lengths / sizeof levels->lengths[0])
        levels->lengths[levels->count++] = std::strlen(level);
    return true;
}

void RemoveFile(void*, const char* path) {
    DeleteFileA(path);
}

// The log keeps what earlier installations wrote into it; one that this run created goes.
void TakeBackLog(const WrittenSoFar& written) {
    if (written.log == INVALID_HANDLE_VALUE) return;
    if (!written.log_start.created) {
        SetFilePointer(written.log, static_cast<LONG>(written.log_start.length), nullptr,
                       FILE_BEGIN);
        SetEndOfFile(written.log);
    }
    CloseHandle(written.log);
    char path[kPathSize];
    if (written.log_start.created && BuildInstallLogPath(SharedDataFolder, path, sizeof path))
        DeleteFileA(path);
}

// Innermost first, each only when empty: a folder that holds anything, another screen saver
// of the publisher or files of an earlier installation, fails to go and stays.
void RemoveEmptyOwnLevels(size_t own_levels_start) {
    if (SharedDataFolder[0] == '\0') return;
    OwnLevels levels{};
    ForEachOwnFolderLevel(SharedDataFolder, own_levels_start, NoteLevel, &levels);
    for (size_t i = levels.count; i-- > 0;) {
        char level[kPathSize];
        std::memcpy(level, SharedDataFolder, levels.lengths[i]);
        level[levels.lengths[i]] = '\0';
        RemoveDirectoryA(level);
    }
}

} // namespace

void TakeBackInstallation(const WrittenSoFar& written) {
    ForEachMemberDestination(written.last_member, *written.names, RemoveFile, nullptr);
    TakeBackLog(written);
    RemoveEmptyOwnLevels(written.own_levels_start);
    // Its values name an uninstaller that is gone now: Add/Remove Programs would offer an
    // entry that does nothing.
    if (written.uninstall_key_is_the_runs && written.uninstall_key_path[0] != '\0')
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, written.uninstall_key_path);
}
