// The one way the installer shows a message box. Interactive and silent runs see the box as
// the caller gives it. A run started with /UNATTENDED shows none: it takes the answer that
// goes no further (install/unattended_answer.h) and, where the message would have told the
// user how the run ends, ends with that status instead (platform/exit_status.h).
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>

// For a message that an unattended run never meets, or that does not change how it ends.
constexpr int32_t kKeepExitStatus = -1;

// MessageBoxA(owner, text, caption, type), or in an unattended run its answer without a box,
// with InstallExitStatus set to `unattended_status` unless that is kKeepExitStatus. A caller
// whose status holds in every mode sets it before the call.
int ShowUserMessage(HWND owner, const char* text, const char* caption, UINT type,
                    int32_t unattended_status);
#endif
