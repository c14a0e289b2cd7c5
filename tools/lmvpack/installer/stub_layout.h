// Checks that a file is an installer stub of ours and finds where its package goes.
//
// The installer finds its package at the data of the first leaf of its resource tree and
// reads on to the end of the file. A stub can take a package only when that leaf is the
// package resource ("LASTRES", name 1000, language 1033, declared size 4), its data is the
// last resource data in the resource section, and the resource section is the last section
// of the file with nothing after it: then cutting the file there and appending the package
// changes no header and leaves every other resource whole.
#pragma once

#include "tools/lmvpack/installer/byte_units.h"

#include <cstdint>
#include <span>
#include <string>

struct StubLayout {
    FileOffset package_offset; // where the package resource's data lies
    FileOffset resource_end;   // end of the resource section's raw data, the end of the stub
};

// Throws BuildError naming what is wrong. `path` is read again by the installer's own
// locator, so that the tool and the installer agree on the package position.
StubLayout InspectStub(const std::string& path, std::span<const uint8_t> stub);
