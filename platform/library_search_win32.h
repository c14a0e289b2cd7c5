// Start-up hardening of where the process takes its libraries from, for every program we
// ship (the installer, the uninstaller). Call it first thing in WinMain.
//
// A downloaded program is started from a downloads folder that anyone may have left a DLL in.
// The libraries named in our import tables are KnownDLLs, which Windows always takes from the
// system directory; everything else we load by full path (LoadSystemLibrary). What is left
// are the libraries that system code loads by bare name on our behalf (the window manager's
// theme library, say): this makes Windows look for those in the system directory only, and
// never in the current folder.
#pragma once

// Restricts library search to the system directory where the system can
// (SetDefaultDllDirectories, from Windows 8, and on Vista and 7 with KB2533623), and takes
// the current folder out of the search (SetDllDirectoryA(""), from XP SP1). Both are looked up
// at run time, so the program still starts on systems that have neither.
void RestrictLibrarySearch();
