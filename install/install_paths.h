// The names and paths that the installation run works out: the screen saver's base name and
// destination, the Uninstall key path, the shared folder's levels and every member's
// destination.
//
// Every builder writes into a caller's buffer of `size` bytes and never past it. A path that
// would not fit whole is refused rather than cut: a cut path names some other file, and
// writing there could overwrite what the user owns. On refusal the output is the empty string
// and the result is false.
#pragma once

#include "package/package_format.h"
#include "platform/fixed_text.h"

#include <cstddef>
#include <cstdint>

// `ScreenSaverFile` without everything from its last "." on: the trimmed screen saver name.
// A name without a "." is kept whole.
bool BuildScreenSaverBaseName(const char* screen_saver_file, char* out, size_t size);

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" + the base name of
// `screen_saver_file`, for HKEY_LOCAL_MACHINE.
bool BuildUninstallKeyPath(const char* screen_saver_file, char* out, size_t size);

// The Windows directory, a backslash unless it ends in one, and `screen_saver_file`.
bool BuildScreenSaverPath(const char* windows_directory, const char* screen_saver_file, char* out,
                          size_t size);

// What the run knows when it builds destinations.
struct InstallNames {
    const char* screen_saver_base_name;
    const char* screen_saver_path;
    const char* shared_data_folder; // ends in a backslash; empty when it could not be built
};

// The destination of the member at `index`: the screen saver path for 0, the data file, the
// uninstaller and the media files in the shared folder for 1, 2 and 3 on. False when the path
// does not fit or its folder is unknown (an empty screen saver path or shared folder).
bool MemberDestination(uint32_t index, const MemberEntry& entry, uint16_t first_media_number,
                       const InstallNames& names, char* out, size_t size);
