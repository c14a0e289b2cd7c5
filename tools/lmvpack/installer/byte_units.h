// Positions and sizes inside an installer file.
//
// Both are unsigned 32-bit numbers on disk, and the installer seeks with signed 32-bit
// offsets, so nothing it reads may lie at or beyond 2 GiB. Keeping positions and sizes as two
// distinct types stops a size from being written where a file offset belongs (DataOffset
// counts from the start of the file, never from the package) and makes every narrowing from
// the host's 64-bit sizes go through one checked place.
#pragma once

#include "tools/lmvpack/support/tool_error.h"

#include <compare>
#include <cstdint>
#include <string>

// The largest file the installer can seek through: _llseek takes a signed 32-bit offset.
constexpr uint64_t kMaxInstallerFileSize = 0x7FFFFFFFu;

struct ByteCount {
    uint32_t value = 0;

    // Throws when `size` does not fit what the installer can address.
    static ByteCount From(uint64_t size, const std::string& what) {
        if (size > kMaxInstallerFileSize)
            throw BuildError(what + " is " + std::to_string(size) +
                             " bytes; an installer cannot hold more than 2 GiB");
        return ByteCount{static_cast<uint32_t>(size)};
    }
    auto operator<=>(const ByteCount&) const = default;
};

struct FileOffset {
    uint32_t value = 0;

    static FileOffset From(uint64_t position, const std::string& what) {
        return FileOffset{ByteCount::From(position, what).value};
    }
    auto operator<=>(const FileOffset&) const = default;
};

inline FileOffset Advance(FileOffset at, ByteCount by, const std::string& what) {
    return FileOffset::From(uint64_t{at.value} + by.value, what);
}

inline ByteCount Distance(FileOffset from, FileOffset to) {
    return ByteCount{to.value - from.value};
}
