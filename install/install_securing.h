// The installer's own folder and the files it writes there (install/folder_securing.h): the
// levels "Tarrowby", "Lumenvault" and the screen saver's folder, then INSTALL.LOG and each
// member's destination inside that folder (UNINSTAL.EXE among them). The screen saver goes into
// the Windows directory, whose rules are the system's.
#pragma once

#include "install/folder_securing.h"
#include "install/install_paths.h"

Securing SecureInstallPaths(const InstallNames& names, size_t own_levels_start, SecuringStep step,
                            const SecurityAccess& access, char* refused, size_t size);
