// The uninstaller's copy of the installer's start-up hardening against planted libraries, kept
// in its own small file so that both programs can share one later.
//
// The uninstaller runs elevated, started from its folder under the common application data,
// where other users may add files. Its imports are KnownDLLs only, which always come from the
// system directory; this call closes the other way in: libraries that the system loads by name
// later on (user32 loads UXTHEME.DLL once a window exists) are then looked for in the system
// directory alone, never in the program's folder or the current one.
#pragma once

// First thing in WinMain. Each of the two settings is looked up at run time and skipped where
// the system lacks it: SetDefaultDllDirectories (Windows 8, or 7 and Vista with KB2533623)
// and SetDllDirectoryA (XP SP1).
void RestrictDllSearch();
