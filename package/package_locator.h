#pragma once

#include "platform/file_api.h"

// Returns a new handle on the running installer's own file, the one opened when it started
// (PlatOpenOwnFile), positioned at the first byte of the install package; kNoFile when there is
// none. The caller closes the handle. Handles from two calls share one file position, so each
// pass positions its handle before it reads, and passes never interleave.
FileHandle LocatePackage();

// The same walk over any installer file (the authoring tool reads installers and stubs).
FileHandle LocatePackageInFile(const char* path);
