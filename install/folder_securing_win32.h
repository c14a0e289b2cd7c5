// Windows' side of securing our folders (install/folder_securing.h), for the installer and the
// uninstaller: each path is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT, and
// FILE_FLAG_BACKUP_SEMANTICS for folders), its owner and DACL are read through that handle
// (GetSecurityInfo) and our rules written through it (SetSecurityInfo). Handles held on our
// levels share reading and writing but not deletion: no one renames or removes a level while
// they are open.
#pragma once

#include "install/folder_securing.h"

// Creates folders with our rules, the Administrators as their owner.
const SecurityAccess& SystemSecurityAccess();

// Closes the handles held on our levels; the run that held them has ended.
void ReleaseHeldLevels();
