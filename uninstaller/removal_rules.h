// What the uninstaller may remove, decided from text alone.
//
// The uninstaller runs elevated from a folder that other users can add files to, and its list
// of files, INSTALL.LOG, lies in that folder: anyone could have rewritten it. So the log is a
// list of candidates, never an authority. A line is removed only when it names the Windows
// directory's <name>.scr or a file directly inside the uninstaller's own folder; any other line
// (another folder, a path that climbs with "..", a sub-folder, a stream name, a device) is
// refused. Paths are compared without regard to ASCII letter case, as Windows compares them;
// letters beyond ASCII must match exactly, so a path that differs only in their case is refused
// rather than taken for ours.
//
// Every function here works on caller buffers of kPathSize bytes and never writes
// past them.
#pragma once

#include "install/install_layout.h"
#include "uninstaller/path_text.h"

#include <cstddef>
#include <string_view>

// Where the uninstaller stands. The installer puts it into
// <common application data>\Tarrowby\Lumenvault\<name>\, so its own path tells it the folder
// it removes and the screen saver's name.
struct OwnFolder {
    char folder[kPathSize];     // ends with a backslash
    char file_name[kPathSize];  // the program's own name, UNINSTAL.EXE as installed
    char base_name[kPathSize];  // the screen saver's name: the folder's last level
    size_t product_level_end;   // length of the path up to and with "...\Lumenvault\"
    size_t publisher_level_end; // length of the path up to and with "...\Tarrowby\"
};

// Splits the program's full path (its long form). False when it does not lie in a folder
// ...\Tarrowby\Lumenvault\<name>\ whose name could be a screen saver's: a copy of the
// uninstaller started anywhere else removes nothing.
bool FindOwnFolder(std::string_view module_path, OwnFolder* out);

// Where the installer's own levels begin in own.folder: the backslash before "Tarrowby", as
// ForEachOwnFolderLevel (install/folder_securing.h) counts them.
inline size_t OwnLevelsStart(const OwnFolder& own) {
    return own.publisher_level_end - sizeof kPublisherLevel - 1;
}

// The Windows directory, a backslash unless it ends in one, the name and ".scr". False, with an
// empty result, when it does not fit.
bool ScreenSaverPathIn(const char* windows_directory, const char* base_name, char* out,
                       size_t size);

enum class LogEntry {
    kScreenSaver, // the Windows directory's <name>.scr
    kOwnFile,     // a file directly inside the own folder
    kUninstaller, // the running program itself: removed after it has ended
    kInstallLog,  // INSTALL.LOG: removed last, once everything it names is handled
    kForeign,     // anything else: never touched
};

LogEntry ClassifyLogEntry(std::string_view line, const OwnFolder& own,
                          std::string_view screen_saver_path);

// system.ini's "SCRNSAVE.EXE" names the screen saver by its long or its short path: the
// installer writes the short one, a user's display settings may write the long one.
bool SettingNamesScreenSaver(std::string_view setting, std::string_view long_path,
                             std::string_view short_path);

// The Uninstall entry is deleted only when it is ours: its UninstallString (quoted or not,
// arguments after a quoted path allowed) starts a program directly inside the own folder. An
// entry of the same name written later by some other software is left alone.
bool UninstallCommandRunsFrom(std::string_view command, const OwnFolder& own);
