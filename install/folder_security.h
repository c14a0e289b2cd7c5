// The access rules of the folders the installer makes under the common application-data
// folder, where standard users may create files and folders. As a machine-wide program
// folder is: the system and the administrators may change the folder and what is in it,
// users may only read and run; nothing is inherited from the folder above, and every file and
// folder made inside inherits these rules.
//
// Written out as a self-relative security descriptor, byte by byte as Windows defines it, so
// that it needs no call that older systems lack (Windows 9x ignores it) and can be checked
// anywhere.
#pragma once

#include <cstdint>

constexpr uint32_t kFolderSecuritySize = 96;

struct FolderSecurity {
    // Aligned as Windows wants a security descriptor in memory.
    alignas(4) uint8_t bytes[kFolderSecuritySize];
};

// The descriptor: no owner or group (the creator's defaults apply), a protected DACL with
// SYSTEM and Administrators full control, Users read and execute, each inherited by files
// and folders below.
FolderSecurity MakeFolderSecurity();
