// A PE file's checksums as python's pefile reads and works them out (pe_checksums.py beside
// this file): a reader of its own, so that the checksum our build step and lmvpack write is
// never held against a copy of the code that wrote it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct PefileChecksums {
    bool read = false;     // false when pefile could not be run or could not read the file
    uint32_t stored = 0;   // the optional header's CheckSum field
    uint32_t computed = 0; // the checksum of the file's bytes
    std::string error;     // what went wrong, when nothing was read
};

PefileChecksums ChecksumsByPefile(const std::filesystem::path& file);
