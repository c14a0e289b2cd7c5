// The system's own folders and libraries, read the one checked way for both programs.
//
// Libraries are loaded by full path. LoadLibraryA with a bare name looks in the program's
// folder first, which for a downloaded installer is the downloads folder: a library of the
// same name planted there would be run. Naming the file in the system directory closes that,
// and works on every 32-bit Windows, unlike the newer safe-search flags.
#pragma once

#include "platform/fixed_text.h"

#include <windows.h>

// The Windows directory. False, with `folder` empty, when it cannot be read or would not fit.
bool ReadWindowsDirectory(char (&folder)[kPathSize]);

// LoadLibraryA(<system directory>\name), or null when the system directory cannot be read,
// the path would not fit, or the library does not load there.
HMODULE LoadSystemLibrary(const char* name);

// GetProcAddress as the function pointer type `Proc`, or null when `module` lacks `name`.
// Through a plain function pointer type: GetProcAddress's own type does not match.
template <typename Proc> Proc LookUpProc(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A function of KERNEL32.DLL that older systems may lack, or null. That library is loaded with
// every process: asking for it loads nothing.
template <typename Proc> Proc KernelProc(const char* name) {
    const HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    return kernel != nullptr ? LookUpProc<Proc>(kernel, name) : nullptr;
}
