// The full-screen title window that drives the whole installation, and its painting.
#pragma once

#ifdef _WIN32
#include <windows.h>

constexpr const char* kTitleWindowClass = "LmvInstallClass";
// The start timer: fires once, one second after the window's creation, and starts the
// installation from inside the message loop.
constexpr UINT_PTR kStartTimer = 1000;
constexpr UINT kStartTimerPeriod = 1000;

LRESULT CALLBACK TitleWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Checks, prompts, the install dialog and the finish; ends by destroying the title window.
void InstallSequence(HWND window);

// WM_PAINT of the title window: gradient, white frame, the name with its shadow.
void PaintTitle(HWND window);
#endif
