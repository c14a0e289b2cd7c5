// What follows the install dialog: rollback, the codec notice, or completion and launch.
#pragma once

#ifdef _WIN32
#include <windows.h>

// One of three endings: start the uninstaller after an abort; report the media types that
// the system cannot play; or (interactive mode) report completion, test for DirectX 7 when
// the package asks for it, and start the screen saver.
void FinishInstallation(HWND window, const char* install_caption);

// Opens a web page with the shell; tells the user when that fails.
void OpenWebPage(HWND window, const char* address);

// True when a DirectDraw 7 object can be created on the primary display.
bool HasDirectX7();

// Starts the installed screen saver (ScreenSaverFile) by its short path.
void LaunchScreenSaver();
#endif
