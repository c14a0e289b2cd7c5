// Where an installation lives, named once for every program that has to find it: the installer
// that makes it, the uninstaller that removes it (and believes no path it cannot derive from
// these names), lmvpack, which checks names and path lengths before it builds a package and
// reports what a trial run left, and the sample screen saver, which reads its data file there.
//
//   <Windows directory>\<name>.scr                          the screen saver
//   <common application data>\Tarrowby\Lumenvault\<name>\  its own folder: <name>.dat,
//                                                           UNINSTAL.EXE, the media files and
//                                                           INSTALL.LOG
//   HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<name>
//
// Portable (no Windows header) and free of exceptions and allocation, so that the installer,
// the uninstaller and the sample take it as it is. The builders write into a caller's buffer of
// `size` bytes and never past it; a path that does not fit whole is refused, with the buffer
// left empty.
#pragma once

#include <cstddef>
#include <string_view>

// The levels between the common application-data folder and each screen saver's own folder.
// Every screen saver of ours shares them, so nothing removes them while they hold anything.
inline constexpr char kPublisherLevel[] = "Tarrowby";
inline constexpr char kProductLevel[] = "Lumenvault";

// The uninstaller as installed (member 2), and the log of every installed file, both in the
// screen saver's own folder.
inline constexpr char kInstalledUninstallerName[] = "UNINSTAL.EXE";
inline constexpr char kInstallLogName[] = "INSTALL.LOG";

// The key under HKEY_LOCAL_MACHINE that holds one subkey per installed program, ours named by
// the screen saver's base name.
inline constexpr char kUninstallKeyRoot[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Appends "\All Users\Application Data" to the Windows directory in `folder`: the common
// application-data folder of a Windows that cannot name it (no SHFOLDER.DLL).
bool AppendFallbackDataLevels(char* folder, size_t size);

// Appends "\Tarrowby\Lumenvault\<base name>\" to the common application-data folder in
// `folder` (a backslash is not doubled), giving the screen saver's own folder.
bool AppendOwnLevels(char* folder, size_t size, const char* base_name);

// The own folder (ending in a backslash) followed by "INSTALL.LOG". Refused for an empty
// folder too: a bare "INSTALL.LOG" would name a file in whatever folder is current.
bool BuildInstallLogPath(const char* own_folder, char* out, size_t size);

// True for a name that Windows opens as a device instead of a file: CON, PRN, AUX, NUL,
// CLOCK$, CONIN$, CONOUT$, COM1 to COM9 and LPT1 to LPT9 (also with the superscript digits
// 1, 2 and 3 of Windows-1252), in any case, whatever extension follows, and with the blanks
// and dots that Windows strips from the end of a name. "NUL.scr", "com1.txt" and "Aux. ."
// all name devices; "CONSOLE", "NUL_" and "COM0" do not. The installer refuses such a screen
// saver name, lmvpack says why, and the uninstaller touches no such file: one rule, so that
// what one program takes for a file the others do too.
bool IsReservedDeviceName(std::string_view name);
