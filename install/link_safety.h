// Links planted in the folders we install into. The data folder hangs from the common
// application-data folder, where standard users may create folders, and Windows lets them
// make a folder there into a junction: an elevated installer following it would write its
// files wherever the link leads (the system directory, say). A file planted as a link, or as
// a second hard link of a system file, would have that file overwritten. So before anything
// is written, every level of the data folder that the installer adds and that exists already
// must be a real folder, and every destination file that exists already must be a file of its
// own; otherwise nothing is installed.
#pragma once

#include "install/folder_securing.h"
#include "install/install_paths.h"

#include <cstddef>

enum class PathKind {
    kMissing,    // nothing there (or nothing the installer can look at)
    kFolder,     // a real folder
    kFile,       // a real file with no other name
    kLink,       // a reparse point: junction, symbolic link or mount point
    kLinkedFile, // a file with more than one hard link
};

// What is at `path` on the system; the installer asks Windows, the tests make it up.
using PathKindOf = PathKind (*)(const char* path);

// Calls `visit` with every destination the run will write, in its order: "INSTALL.LOG" in
// names.shared_data_folder, then each member's that the member table leads to (a table that
// cannot be read is walked as far as the run will walk it). Stops and returns false when
// `visit` does.
bool ForEachInstallDestination(const InstallNames& names,
                               bool (*visit)(void* context, const char* path), void* context);

// Looks at the levels of names.shared_data_folder past `own_levels_start` and at every
// destination the run will write: each member's that the member table leads to, and
// "INSTALL.LOG". False, with `refused` naming the first link found, when one of them is a link
// (or a linked file, for destinations); true, with `refused` empty, when the installation may
// go on. A member table that cannot be read is walked as far as the run will walk it.
bool InstallPathsAreUnlinked(const InstallNames& names, size_t own_levels_start, PathKindOf kind_of,
                             char* refused, size_t size);
