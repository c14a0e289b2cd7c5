// The installation run and its Windows-only steps, each in a file of its own.
#pragma once

#ifdef _WIN32
#include <windows.h>

// The whole installation, run inside the install dialog's OK command; ends the dialog with 1,
// or with 2 when the Uninstall key may not be written.
void RunInstallation(HWND dialog);

// Fills SharedDataFolder: the common application-data folder (or its fallback under the
// Windows directory), then "Tarrowby", "Lumenvault" and the base name, creating each level,
// with a closing backslash. Left empty when the path would not fit.
void BuildSharedDataFolder(const char* screen_saver_base_name);

// "INSTALL.LOG" in SharedDataFolder, opened for appending; INVALID_HANDLE_VALUE when it
// cannot be opened, and then nothing is logged.
HANDLE OpenInstallLog();
void LogInstalledFile(HANDLE log, const char* path);

// Opens the media file with the system's media devices; a type that none opens is added to
// UnsupportedTypes.
void ProbeMedia(const char* destination);

// Names the screen saver in "system.ini" and switches screen saving on.
void ActivateScreenSaver(const char* screen_saver_path);

// Writes the screen saver's entry under the Uninstall key.
void RegisterUninstallEntry(const char* uninstall_key_path, const char* screen_saver_base_name,
                            const char* uninstaller_path, const char* screen_saver_path);
#endif
