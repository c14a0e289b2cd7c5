// The values of the screen saver's Uninstall entry, worked out without touching the registry
// so that their names, types, data and lengths can be checked anywhere: the seven that the
// system's list of programs has always shown, then those that deployment tools read.
#pragma once

#include "install/display_version.h"
#include "install/publisher_text.h"
#include "package/package_format.h"

#include <cstdint>

// Registry value types, as Windows numbers them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegDword = 4;

struct UninstallValue {
    const char* name;
    uint32_t type;
    const void* data;
    uint32_t length; // strings count their terminating zero
};

// The seven, then QuietUninstallString, DisplayVersion (when there is one), EstimatedSize,
// NoModify and NoRepair.
constexpr int kMaxUninstallValues = 12;

// Storage for the texts that the values point into; lives as long as the values are used.
struct UninstallValues {
    // The base name (up to 259 characters) and " Screen Saver".
    char display_name[kPathSize + 16];
    // The uninstaller's path in double quotes: the system's list of programs starts the value
    // as a command line, and an unquoted path with a blank in it would start "C:\...\My.exe"
    // first, a file that anyone who may create files beside our folder could have put there.
    char uninstall_string[kPathSize + 2];
    char install_location[kPathSize];
    char display_icon[kPathSize + 4];
    char publisher[kPublisherTextSize];
    uint32_t version_major;
    uint32_t version_minor;
    // The quoted uninstaller with "/s": the removal that asks nothing, for deployment tools.
    char quiet_uninstall_string[kPathSize + 6];
    char display_version[kDisplayVersionSize];
    uint32_t estimated_size; // kilobytes
    uint32_t no_modify;
    uint32_t no_repair;
    UninstallValue values[kMaxUninstallValues];
    int count;
};

// Fills `out` in the order the values are written: "DisplayName", "UninstallString",
// "InstallLocation", "DisplayIcon", "Publisher", "VersionMajor", "VersionMinor", then
// "QuietUninstallString", "DisplayVersion" (only when `display_version` is a text, not null or
// empty), "EstimatedSize" (`installed_size` bytes in kilobytes, rounded up), "NoModify" and
// "NoRepair" (1: there is nothing to modify or repair, only to remove).
void BuildUninstallValues(const char* screen_saver_base_name, const char* uninstaller_path,
                          const char* screen_saver_path, const char* display_version,
                          uint32_t installed_size, UninstallValues* out);
