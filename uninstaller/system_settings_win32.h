// The two places outside its folders where an installation leaves traces: the screen-saver
// setting and the entry in the list of installed programs.
#pragma once

#include "uninstaller/removal_rules.h"

// Removes "SCRNSAVE.EXE" from system.ini's "boot" section, through the same profile calls the
// installer used (on NT systems they reach the user's desktop settings), but only when it
// names the removed screen saver by its long or short path: a screen saver the user chose
// since stays chosen. A "boot" section left empty is removed with it.
void ClearScreenSaverSetting(const char* long_path, const char* short_path);

// Deletes HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\<name> when its
// UninstallString runs a program in the own folder, or when it holds no values at all (the
// installer's access probe leaves such a key). False when our entry is still there afterwards.
bool DeleteUninstallEntry(const OwnFolder& own);
