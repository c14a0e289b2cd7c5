// What a trial installation under Wine did, read from the prefix it ran in: the windows the
// GUI driver saw and answered, the installer's exit status, every file written, the install
// log, the Uninstall entry and the screen-saver setting. Reading and formatting only; running
// Wine is wine_trial's.
#pragma once

#include "tools/lmvpack/trial/wine_registry.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SeenDialog {
    std::string caption;            // UTF-8
    std::vector<std::string> texts; // its static texts
    std::string pressed;            // the button pressed; empty when none was
    bool scripted = true;           // false: not a window the script expected
};

struct DriverOutcome {
    std::optional<uint32_t> exit_code; // none when the installer did not end by itself
    bool timed_out = false;
    bool start_failed = false;
    bool screenshot_taken = false;
    std::vector<SeenDialog> dialogs; // every dialog and message box shown, in order
};

// The GUI driver's log: one JSON object per line, texts as the installer's ANSI bytes.
DriverOutcome ParseDriverLog(std::string_view log);

struct FileState {
    uint64_t size = 0;
    std::filesystem::file_time_type time;
    bool operator==(const FileState&) const = default;
};
// Regular files under a folder by their relative path ('/'-separated).
using FileSnapshot = std::map<std::string, FileState>;

FileSnapshot SnapshotFiles(const std::filesystem::path& root);

struct WrittenFile {
    std::string windows_path; // C:\...
    uint64_t size = 0;
};

struct TrialFindings {
    DriverOutcome driver;
    std::vector<WrittenFile> written;
    std::vector<std::pair<std::string, std::string>> install_logs; // path, text (UTF-8)
    std::vector<RegistryKey> uninstall; // keys new or changed under the Uninstall key
    std::string screen_saver;           // system.ini [boot] SCRNSAVE.EXE; empty when unset
    std::string screen_saving;          // HKCU Control Panel\Desktop ScreenSaveActive
};

// Reads the prefix after the run. `before` is drive_c's snapshot and `system_reg_before` the
// text of system.reg before it; files under `own_folder` (drive_c-relative, the driver's and
// the installer's copy) are not the installer's doing and are left out.
TrialFindings ReadFindings(const std::filesystem::path& prefix, const FileSnapshot& before,
                           std::string_view system_reg_before, std::string_view driver_log,
                           std::string_view own_folder);

// The report `lmvpack try` prints.
std::string FormatFindings(const TrialFindings& findings);

// What a prefix holds, for telling what an installation added and what its removal left: the
// files and folders of drive_c, Wine's saved registry, and the screen saver that system.ini
// names.
struct PrefixState {
    FileSnapshot files;
    std::vector<std::string> folders; // drive_c-relative, '/'-separated, sorted
    Registry machine;                 // system.reg
    Registry user;                    // user.reg
    std::string screen_saver;         // system.ini [boot] SCRNSAVE.EXE; empty when unset
};

PrefixState ReadPrefixState(const std::filesystem::path& prefix);

// Everything the installation added or changed (between `before` and `installed`) that is
// still so after the removal (`removed`): files, folders, registry values and keys, and the
// screen-saver setting, one line each ("file C:\...", "registry value HKEY_LOCAL_MACHINE\...:
// Name"). Files under `own_folder` (drive_c-relative) are lmvpack's own; what Wine itself
// rewrites in every session is left out.
std::vector<std::string> LeftBehind(const PrefixState& before, const PrefixState& installed,
                                    const PrefixState& removed, std::string_view own_folder);

// A trial's removal: run as Add/Remove Programs runs it, by the Uninstall entry's
// UninstallString.
struct RemovalFindings {
    std::string command; // the UninstallString run (UTF-8)
    DriverOutcome driver;
    std::vector<std::string> left; // LeftBehind's lines
};

// The UninstallString of the Uninstall entry named `key_name` in `machine` (UTF-8), or none.
std::optional<std::string> UninstallCommand(const Registry& machine, std::string_view key_name);

// The report of the removal that `lmvpack try --uninstall` prints after the installation's.
std::string FormatRemoval(const RemovalFindings& removal);
