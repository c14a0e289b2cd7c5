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

// The descriptor's header and DACL; with the Administrators as owner, their SID follows.
constexpr uint32_t kFolderSecuritySize = 96;
constexpr uint32_t kOwnedFolderSecuritySize = 112;
// Where the DACL lies in the descriptor, and its size.
constexpr uint32_t kFolderRulesOffset = 20;
constexpr uint32_t kFolderRulesSize = kFolderSecuritySize - kFolderRulesOffset;

struct FolderSecurity {
    // Aligned as Windows wants a security descriptor in memory.
    alignas(4) uint8_t bytes[kOwnedFolderSecuritySize];
};

// The descriptor: a protected DACL with SYSTEM and Administrators full control, Users read and
// execute, each inherited by files and folders below; no group. No owner (the creator's
// default applies), or, with `administrators_own`, the Administrators: a folder that an
// administrator's program makes then belongs to them however the system is set to choose its
// owner, as the checks of our folders (install/ownership_verdict.h) ask.
FolderSecurity MakeFolderSecurity(bool administrators_own = false);
