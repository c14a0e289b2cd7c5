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
// file names, control characters, DOS device names such as "CON" or "COM1", and a name ending
// in a dot or a blank, which Windows drops while the install log and the Uninstall key keep
// it.
std::string FileNameProblem(std::string_view name);

// Why a name or a media suffix, as written in the manifest (UTF-8), cannot be installed on
// every Windows, or empty when it can: only ASCII means the same in the ANSI code page of
// every Windows, and the installer refuses anything else where that code page is not
// Windows-1252.
std::string NonAsciiNameProblem(std::string_view utf8);

// The longest screen saver name, trailing blanks removed, that the installer takes at all: it
// makes the name into "<name>.scr" in a 260-byte buffer and refuses what does not fit.
constexpr size_t kMaxScreenSaverNameLength = kPathSize - 1 - 4;

// The common application-data folders the installer meets, shortest and longest: Windows
// Vista and later (and Wine), and Windows XP. The installer keeps its files in
// <folder>\Tarrowby\Lumenvault\<name>\, and the data file's path holds the name twice.
constexpr const char kShortestDataFolder[] = "C:\\ProgramData";
constexpr const char kLongestDataFolder[] =
    "C:\\Documents and Settings\\All Users\\Application Data";

// Whether the installer's paths have room for every fixed file of a screen saver named
// `name` (trailing blanks removed) when the common application-data folder is `data_folder`:
// the screen saver in the Windows directory, the data file, the uninstaller and the install
// log in the shared folder. Worked out with the installer's own path builders and 260-byte
// buffers. Media names are shorter than the data file's whenever the name is long enough to
// matter.
bool NameFitsUnder(const char* data_folder, std::string_view name);

// The longest name that fits under `data_folder`.
size_t LongestNameUnder(const char* data_folder);

// Why the installer would refuse `stored_name` (the name field as stored), or could not
// install all of its files even under the shortest data folder, or empty when it takes it:
// the trimmed name must be a plain file name of at most LongestNameUnder(kShortestDataFolder)
// bytes.
std::string ScreenSaverNameProblem(std::string_view stored_name);

// The warning for a name that installs under the shortest data folder but not under the
// longest, or empty.
std::string ScreenSaverNameWarning(std::string_view stored_name);
