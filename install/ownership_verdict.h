// Whose is a folder or file of ours: the decision, from the owner and the DACL alone.
//
// The data folder hangs from the common application-data folder, where any user may create
// folders and, through its inherited CREATOR OWNER entry, owns what they create. A level made
// there by another user before the installation stays theirs: they may rename it and put
// anything where UninstallString points, or rewrite the INSTALL.LOG that the elevated
// uninstaller acts on. So a level or file of ours is used only when it belongs to those who
// may change the system anyway: SYSTEM, the Administrators, TrustedInstaller, or whoever owns
// the system directory (TrustedInstaller on today's Windows; on a system that keeps no owners,
// such as Wine, the one user everything belongs to). And its DACL must let no one else change
// it: no right to write, append, add or remove children, delete, change the rules or take
// ownership, inherited entries and entries handed down to children included. A NULL DACL lets
// everyone do everything.
//
// Portable: the installer and the uninstaller read the owner and the DACL through a handle
// (install/folder_securing_win32.cpp); the unit tests build them from SDDL strings.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Ownership {
    kOurs,    // the trusted own it, and no one else may change it
    kLoose,   // the trusted own it, but others may change it: it needs our rules
    kForeign, // anyone else owns it (or its owner cannot be read): never used
};

// Bytes as the system keeps them: a SID, or an ACL (which carries its own size).
struct SecurityBytes {
    const uint8_t* data; // null: none (a NULL DACL; no owner)
    size_t size;
};

// `machine_owner`: the owner of the system directory, trusted like the administrators; none
// when it cannot be read.
Ownership JudgeOwnership(SecurityBytes owner, SecurityBytes dacl, SecurityBytes machine_owner);
