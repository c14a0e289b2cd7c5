// The installation run and its Windows-only steps, each in a file of its own.
#pragma once

#ifdef _WIN32
#include "install/link_safety.h"

#include <windows.h>

// The whole installation, run inside the install dialog's OK command; ends the dialog with 1
// when it ran, or with 2 when there is nothing to finish: it refused to start, having written
// nothing (a destination reached through a link, a folder of ours that belongs to another user,
// both also setting kRefusedExitStatus, or no right to secure our folders or to write the
// Uninstall key), or a write failed and what the run had written was taken back.
void RunInstallation(HWND dialog);

// Fills SharedDataFolder, creating nothing: the common application-data folder (or its
// fallback under the Windows directory), then "Tarrowby", "Lumenvault" and the base name,
// with a closing backslash. Left empty when the path would not fit. Returns the length of the
// system's folder that the installer's own levels hang from. The run makes those levels, with
// our rules, when it secures its folders (install/install_securing.h).
size_t WorkOutSharedDataFolder(const char* screen_saver_base_name);

// What is at `path`: missing, a real folder or file, a link, or a file with other names.
PathKind PathKindOnDisk(const char* path);

// What the install log was before this run appended to it: whether the run created it, and
// its length before (taken back to after a failed write).
struct InstallLogStart {
    bool created;
    DWORD length;
};

// "INSTALL.LOG" in SharedDataFolder, opened for appending; INVALID_HANDLE_VALUE when it
// cannot be opened, and then nothing is logged.
HANDLE OpenInstallLog(InstallLogStart* start);
void LogInstalledFile(HANDLE log, const char* path);

// What a run had written when a write failed, for taking it back.
struct WrittenSoFar {
    const InstallNames* names;
    size_t own_levels_start; // where the installer's own levels of SharedDataFolder begin
    uint32_t last_member;    // the member whose write failed
    HANDLE log;              // the install log, still open, or INVALID_HANDLE_VALUE
    InstallLogStart log_start;
    const char* uninstall_key_path;
    bool uninstall_key_is_the_runs; // the run created the key or wrote its values
};

// Removes the files of every member up to the one whose write failed (also where they replaced
// an earlier installation's: the run wrote them anew), the log's new lines (the log itself
// when the run created it), the installer's own folder levels that are left empty, and the
// Uninstall key when it is the run's; closes the log. The log's earlier lines, and folders
// that hold anything else, stay.
void TakeBackInstallation(const WrittenSoFar& written);

// The media devices' entry point, from WINMM.DLL in the system directory: not imported, since
// a library imported by a bare name that is not a KnownDLL would be taken from the installer's
// own folder first. Loaded for the probes of one run.
using MciSendCommandProc = DWORD(WINAPI*)(UINT, UINT, DWORD_PTR, DWORD_PTR);
struct MediaDevices {
    HMODULE library;
    MciSendCommandProc send_command; // null when the library or the entry point is missing
};
MediaDevices OpenMediaDevices();
void CloseMediaDevices(const MediaDevices& devices);

// Opens the media file with the system's media devices; a type that none opens is added to
// UnsupportedTypes. Without the media devices no file opens.
void ProbeMedia(const MediaDevices& devices, const char* destination);

// Names the screen saver in "system.ini" and switches screen saving on.
void ActivateScreenSaver(const char* screen_saver_path);

// Writes the screen saver's entry under the Uninstall key.
void RegisterUninstallEntry(const char* uninstall_key_path, const char* screen_saver_base_name,
                            const char* uninstaller_path, const char* screen_saver_path);
#endif
