// The seven values of the screen saver's Uninstall entry, worked out without touching the
// registry so that their names, types, data and lengths can be checked anywhere.
#pragma once

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

constexpr int kUninstallValueCount = 7;

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
    UninstallValue values[kUninstallValueCount];
};

// Fills `out` in the order the values are written: "DisplayName", "UninstallString",
// "InstallLocation", "DisplayIcon", "Publisher", "VersionMajor", "VersionMinor".
void BuildUninstallValues(const char* screen_saver_base_name, const char* uninstaller_path,
                          const char* screen_saver_path, UninstallValues* out);
