// The installer's process-wide state. One thread, no locks: these are plain variables, set
// where the comments say and read wherever needed. Sizes are fixed, as every path buffer
// of the installer holds 260 bytes with its terminator.
#pragma once

#include "package/package_format.h"
#include "platform/exit_status.h"

#include <cstdint>

constexpr int32_t kInteractiveMode = 2;
constexpr int32_t kSilentMode = 1;

// Set from the command line before the title window exists.
extern int32_t InstallMode;
// 1 for a run started with /UNATTENDED (silent as well): it shows no window, no dialog and no
// message box at all (install/user_messages_win32.h), and its exit status says what a message
// would have said. Set with InstallMode.
extern int32_t InstallUnattended;

// Read from the package header when the title window is created. The defaults show when the
// header cannot be read: an empty name over a gradient from blue to black.
extern char ScreenSaverName[kScreenSaverNameSize];
extern uint32_t NeedsDirectX;
extern uint32_t TopColor;
extern uint32_t BottomColor;

// The package's installed size in bytes as the disk-space check adds it up (0 when the package
// cannot be read); the Uninstall entry gives it in kilobytes.
extern uint32_t InstalledSize;

// The trimmed name plus ".scr" while the install dialog runs; the full path afterwards.
extern char ScreenSaverFile[kPathSize];

// Set to 1 by a confirmed Cancel of the install dialog, never cleared.
extern int32_t AbortRequested;
// 1 while the uninstaller is written: an abort is not honoured then.
extern int32_t ProtectedMember;
// The install dialog's window (an HWND), for the dialog-message test of the progress poll.
extern void* InstallDialogWindow;

// Set by the installation run when it could not install every member: the package broke off
// or a member had nowhere to go. Such an installation is reported as failed, never complete.
extern int32_t InstallIncomplete;
// The process exit status (platform/exit_status.h): kFinishedExitStatus unless the
// installation failed or the package was refused.
extern int32_t InstallExitStatus;

// Common application data + "Tarrowby\Lumenvault\<base name>\", always ending in a backslash.
extern char SharedDataFolder[kPathSize];
// Extensions (with their dot) that no media device opened, each followed by CR LF.
extern char UnsupportedTypes[256];
