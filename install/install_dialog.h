// The progress dialog (template 103) inside which the installation runs.
#pragma once

#ifdef _WIN32
#include <windows.h>

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
#endif
