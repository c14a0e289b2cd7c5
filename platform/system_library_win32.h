// Loading the system's own libraries by full path. LoadLibraryA with a bare name looks in the
// program's folder first, which for a downloaded installer is the downloads folder: a library
// of the same name planted there would be run. Naming the file in the system directory
// closes that, and works on every 32-bit Windows, unlike the newer safe-search flags.
#pragma once

#include <windows.h>

// LoadLibraryA(<system directory>\name), or null when the system directory cannot be read,
// the path would not fit, or the library does not load there.
HMODULE LoadSystemLibrary(const char* name);
