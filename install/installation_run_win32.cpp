// RunInstallation: the administrator probe, the names and folders, the install log, the walk
// of the member table and, at the end, the screen saver made the system's.
#include "decode/member_extraction.h"
#include "decode/write_failure.h"
#include "install/folder_securing_win32.h"
#include "install/install_paths.h"
#include "install/install_securing.h"
#include "install/installation_run.h"
#include "install/installer_state.h"
#include "install/member_walk.h"
#include "install/pump_messages_win32.h"
#include "install/user_messages_win32.h"
#include "package/package_locator.h"
#include "package/package_reading.h"
#include "platform/format_text.h"
#include "platform/system_paths_win32.h"

namespace {

struct RunContext {
    HANDLE log;
    const char* uninstall_key_path; // empty when it did not fit
    const InstallNames* names;
    // Loaded at the first media member: a package without media needs no media devices.
    bool media_opened;
    MediaDevices media;
    bool registered; // the Uninstall values were written
};

void RegisterUninstaller(void* context, const char* uninstaller_path) {
    auto* run = static_cast<RunContext*>(context);
    if (run->uninstall_key_path[0] == '\0') return;
    RegisterUninstallEntry(run->uninstall_key_path, run->names->screen_saver_base_name,
                           uninstaller_path, run->names->screen_saver_path);
    run->registered = true;
}

void LogMember(void* context, const char* destination) {
    LogInstalledFile(static_cast<const RunContext*>(context)->log, destination);
}

void ProbeMember(void* context, const char* destination) {
    auto* run = static_cast<RunContext*>(context);
    if (!run->media_opened) {
        run->media = OpenMediaDevices();
        run->media_opened = true;
    }
    ProbeMedia(run->media, destination);
}

// The one failure that the run reports before it starts: without write access to the
// machine-wide Uninstall key the installation cannot be registered, so it is not started at
// all. Every other result lets the run go on. `created`: whether the key is new, so that a run
// that must take back what it wrote knows the key for its own.
bool MayWriteUninstallKey(const char* uninstall_key_path, bool* created) {
    *created = false;
    if (uninstall_key_path[0] == '\0') return true;
    char no_class[] = "";
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG result =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstall_key_path, 0, no_class,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (result == ERROR_ACCESS_DENIED) return false;
    if (result == ERROR_SUCCESS) {
        *created = disposition == REG_CREATED_NEW_KEY;
        RegCloseKey(key);
    }
    return true;
}

constexpr const char kLinkedText[] = "%s is a link to another place. This screen saver cannot be "
                                     "installed through it, and nothing has been changed.";
constexpr const char kForeignText[] =
    "%s belongs to another user, not to the administrators of this computer. This screen saver "
    "cannot be installed there, and nothing has been changed. An administrator can remove it "
    "and run this installation again.";

// Ends the run before it has written anything, naming what it refused.
void RefuseInstallation(HWND dialog, const char* text, const char* path) {
    ReleaseHeldLevels();
    char message[kPathSize + 256];
    FormatText(message, sizeof message, text, path);
    InstallExitStatus = kRefusedExitStatus;
    ShowUserMessage(nullptr, message, "Error!!!", MB_OK | MB_ICONHAND, kRefusedExitStatus);
    EndDialog(dialog, 2);
}

// Interactive and silent runs end with status 0 here, as after any refusal the user saw;
// unattended, nobody saw it, and the status says so.
void RefuseAccess(HWND dialog) {
    ReleaseHeldLevels();
    ShowUserMessage(nullptr,
                    "You do not have access to make the required system configuration "
                    "modifications. Please rerun this installation from an administrators "
                    "account.",
                    "Error!!!", MB_OK, kNoAdministratorRightsExitStatus);
    EndDialog(dialog, 2);
}

// Our folders and files as they must be before the run goes on; false when it was ended.
bool SecureOrRefuse(HWND dialog, const InstallNames& names, size_t own_levels_start,
                    SecuringStep step) {
    char refused[kPathSize];
    switch (SecureInstallPaths(names, own_levels_start, step, SystemSecurityAccess(), refused,
                               sizeof refused)) {
    case Securing::kSecured:
        return true;
    case Securing::kLink:
        RefuseInstallation(dialog, kLinkedText, refused);
        return false;
    case Securing::kForeign:
        RefuseInstallation(dialog, kForeignText, refused);
        return false;
    case Securing::kNoAccess:
        RefuseAccess(dialog);
        return false;
    }
    return false;
}

// The Windows directory, a backslash and the file; empty when the directory cannot be had or
// the path would not fit, and then the screen saver is not installed anywhere else.
void WorkOutScreenSaverPath(char (&screen_saver_path)[kPathSize]) {
    char windows_directory[kPathSize];
    if (!ReadWindowsDirectory(windows_directory) ||
        !BuildScreenSaverPath(windows_directory, ScreenSaverFile, screen_saver_path,
                              sizeof screen_saver_path))
        screen_saver_path[0] = '\0';
}

} // namespace

void RunInstallation(HWND dialog) {
    char screen_saver_base_name[kPathSize];
    BuildScreenSaverBaseName(ScreenSaverFile, screen_saver_base_name,
                             sizeof screen_saver_base_name);
    // Before anything is written, the registry included: a destination reached through a
    // link planted by another user would have this elevated run write wherever it leads.
    char screen_saver_path[kPathSize];
    WorkOutScreenSaverPath(screen_saver_path);
    const size_t own_levels_start = WorkOutSharedDataFolder(screen_saver_base_name);
    const InstallNames names = {screen_saver_base_name, screen_saver_path, SharedDataFolder};
    char linked_path[kPathSize];
    if (!InstallPathsAreUnlinked(names, own_levels_start, PathKindOnDisk, linked_path,
                                 sizeof linked_path)) {
        RefuseInstallation(dialog, kLinkedText, linked_path);
        return;
    }
    // Whose our folders are, before anything is written: a refusal leaves nothing changed.
    if (!SecureOrRefuse(dialog, names, own_levels_start, SecuringStep::kCheck)) return;

    char uninstall_key_path[kPathSize];
    BuildUninstallKeyPath(ScreenSaverFile, uninstall_key_path, sizeof uninstall_key_path);
    bool uninstall_key_created = false;
    if (!MayWriteUninstallKey(uninstall_key_path, &uninstall_key_created)) {
        RefuseAccess(dialog);
        return;
    }

    // The missing levels made, with our rules; our rules written where others could still
    // change a level or file of ours.
    if (!SecureOrRefuse(dialog, names, own_levels_start, SecuringStep::kSecure)) return;
    InstallLogStart log_start;
    RunContext run = {
        OpenInstallLog(&log_start), uninstall_key_path, &names, false, {nullptr, nullptr}, false};

    uint16_t first_media_number = 0;
    const FileHandle package = OpenMemberTable(&first_media_number);
    auto* copy_buffer = static_cast<uint8_t*>(LocalAlloc(LMEM_FIXED, kCopyBufferSize));
    const MemberWalkHooks hooks = {&run,      LocatePackage, RegisterUninstaller,
                                   LogMember, ProbeMember,   PumpMessages};
    const MemberWalkResult walk =
        WalkMemberTable(package, first_media_number, copy_buffer, names, hooks);

    if (copy_buffer != nullptr) LocalFree(copy_buffer);
    if (walk.package != kNoFile) PlatClose(walk.package);
    if (run.media_opened) CloseMediaDevices(run.media);
    // The levels are let go first: taking back a failed run removes those it left empty.
    ReleaseHeldLevels();
    if (walk.write_failed) {
        // Nothing of a half-written installation stays behind: the uninstaller and the
        // Uninstall values, which would remove it, may not exist yet.
        TakeBackInstallation({&names, own_levels_start, walk.last_member, run.log, log_start,
                              uninstall_key_path, uninstall_key_created || run.registered});
        InstallExitStatus = kWriteFailureExitStatus;
        ReportWriteFailure();
        EndDialog(dialog, 2);
        return;
    }
    if (run.log != INVALID_HANDLE_VALUE) CloseHandle(run.log);

    // A package that broke off mid-table, or members that had nowhere to go, leave an
    // incomplete installation: its screen saver does not become the system's.
    if (!walk.reached_end || walk.passed_over != 0) InstallIncomplete = 1;
    if (UnsupportedTypes[0] == '\0' && InstallIncomplete == 0)
        ActivateScreenSaver(screen_saver_path);
    EndDialog(dialog, 1);
}
