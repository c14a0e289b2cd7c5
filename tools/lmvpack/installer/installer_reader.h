// Reads an installer's package header and member table the way the installer does, through
// the installer's own locator and passes (their variants that take a path), and refuses what
// they cannot read whole.
#pragma once

#include "package/package_format.h"

#include <cstdint>
#include <string>
#include <vector>

struct ListedMember {
    uint32_t index = 0;
    MemberEntry entry{};
    std::string installed_name; // Windows-1252, as the installer forms it, without folder
};

struct InstallerListing {
    std::string path;
    uint64_t file_size = 0;
    uint32_t package_offset = 0;
    uint16_t agreement_length = 0;
    std::string name; // Windows-1252, as stored: trailing blanks kept, cut at the NUL
    uint32_t needs_directx = 0;
    uint32_t top_color = 0;
    uint32_t bottom_color = 0;
    uint16_t first_media_number = 0;
    uint32_t total_size = 0; // as SumMemberSizes counts it
    uint64_t table_end = 0;  // file offset just past the terminating entry
    std::vector<ListedMember> members;
};

// Throws InstallerError with a one-line reason when `path` is not a readable installer, a
// bare stub included.
InstallerListing ReadInstaller(const std::string& path);
