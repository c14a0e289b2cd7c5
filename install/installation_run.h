// The installation run and its Windows-only steps, each in a file of its own.
#pragma once

#ifdef _WIN32
#include "install/link_safety.h"

#include <windows.h>

// The whole installation, run inside the install dialog's OK command; ends the dialog with 1
// when it ran, or with 2 when it refused to start, having written nothing: a destination
// reached through a link, a folder of ours that belongs to another user (both also set
// kRefusedExitStatus), or no right to secure our folders or to write the Uninstall key.
void RunInstallation(HWND dialog);

// Fills SharedDataFolder, creating nothing: the common application-data folder (or its
// fallback under the Windows directory), then "Tarrowby", "Lumenvault" and the base name,
// with a closing backslash. Left empty when the path would not fit. Returns the length of the
// system's folder that the installer's own levels hang from. The run makes those levels, with
// our rules, when it secures its folders (install/install_securing.h).
size_t WorkOutSharedDataFolder(const char* screen_saver_base_name);

// What is at `path`: missing, a real folder or file, a link, or a file with other names.
PathKind PathKindOnDisk(const char* path);

// "INSTALL.LOG" in SharedDataFolder, opened for appending; INVALID_HANDLE_VALUE when it
// cannot be opened, and then nothing is logged.
HANDLE OpenInstallLog();
void LogInstalledFile(HANDLE log, const char* path);

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
