// The checks and questions between the start timer and the install dialog. Each answers true
// to go on and false to stop; a stop ends the installation before anything is written.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>

// Asks before a screen saver of the same name in the Windows directory is replaced
// (interactive mode only).
bool CheckExistingScreenSaver();

// Compares the package's installed size with the free space on the Windows directory's drive
// and asks "Disk Full" when it looks short, in silent mode too (an unattended run stops there
// with kDiskFullExitStatus). Yields the total size in bytes in every case (0 when the package
// cannot be read), and keeps it in InstalledSize.
bool CheckDiskSpace(uint32_t* total_size);

// Free kilobytes on the drive of the folder, or all bits set when they cannot be found out.
uint32_t FreeKilobytes(const char* folder);

// The confirmation, owned by the title window; silent mode confirms without asking.
bool ConfirmInstallation(HWND window, const char* install_caption, uint32_t total_size);

// Shows the package's agreement text, if it has one, and goes on only when it is accepted. An
// unattended run accepts it without showing it.
bool AskAgreement();

INT_PTR CALLBACK AgreementDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
#endif
