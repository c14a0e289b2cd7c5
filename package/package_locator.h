#pragma once

#include "platform/file_api.h"

// Opens the running installer read-only and returns a handle positioned at the first byte of
// the install package, or kNoFile. The caller closes the handle.
FileHandle LocatePackage();

// The same walk over any installer file (the authoring tool reads installers and stubs).
FileHandle LocatePackageInFile(const char* path);
