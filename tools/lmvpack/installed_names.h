// The file names the installer gives the members, and the test that keeps a name inside the
// folder it is written to. Names are Windows-1252 bytes, as the package holds them.
#pragma once

#include "package/package_format.h"

#include <cstdint>
#include <string>
#include <string_view>

std::string TrimTrailingBlanks(std::string_view text);

// The installed file name of the member at `index`, without its folder: the trimmed screen
// saver name with ".scr", the same with ".dat", "UNINSTAL.EXE", then the media names.
// `screen_saver_name` is the name field as stored, trailing blanks included.
std::string InstalledName(uint32_t index, const MemberEntry& entry,
                          std::string_view screen_saver_name, uint16_t first_media_number);

// Why `name` cannot be used as one file name inside a folder, or empty when it can. Refused:
// the empty name, names made only of dots and blanks ("." and ".." climb out of nothing or
// out of the folder), path separators and drive colons, the other characters Windows refuses in
// file names, control characters, and DOS device names such as "CON" or "COM1".
std::string FileNameProblem(std::string_view name);

// The longest screen saver name, trailing blanks removed, that the installer accepts: it
// makes the name into "<name>.scr" in a 260-byte buffer and refuses what does not fit.
constexpr size_t kMaxScreenSaverNameLength = kPathSize - 1 - 4;

// Why the installer would refuse `stored_name` (the name field as stored) and install nothing,
// or empty when it takes it: the trimmed name must be a plain file name of at most 255 bytes.
std::string ScreenSaverNameProblem(std::string_view stored_name);
