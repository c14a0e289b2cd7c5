// Places an install package into a stub: the stub up to its package position, the header,
// the member table with its terminating entry, then the members' data in table order.
// The members' data never pass through here: the head is made first, knowing only their sizes,
// and the caller streams the data after it.
#pragma once

#include "tools/lmvpack/installer/byte_units.h"
#include "tools/lmvpack/installer/package_header_fields.h"
#include "tools/lmvpack/installer/stub_layout.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct PackageMember {
    uint64_t stored_size = 0;   // the bytes it takes in the file: stored or coded
    uint32_t unpacked_size = 0; // 0 for a stored member, else the decoded size
    std::string name_suffix;    // Windows-1252, at most 15 bytes; media members only
    uint8_t prefix_kind = ' ';  // '_' JUK_, 0 JUKE, anything else FILE; media members only
};

struct PackageDescription {
    PackageHeaderFields header;
    std::vector<PackageMember> members; // screen saver, data file, uninstaller, media...
};

struct InstallerHead {
    std::vector<uint8_t> bytes;  // everything before the first member's data
    uint64_t trailing_zeros = 0; // to write after the last member's data
    uint64_t file_size = 0;      // of the whole installer
};

// Throws BuildError when the description breaks a limit of the format (it is validated
// before, so this is the last line of defence).
InstallerHead WriteInstallerHead(std::span<const uint8_t> stub, const StubLayout& layout,
                                 const PackageDescription& package);
