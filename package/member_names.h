// The installed file names of the members, without their folder.
#pragma once

#include "package/package_format.h"

#include <cstddef>
#include <cstdint>

// "JUK_" for '_', "JUKE" for a zero byte, "FILE" for anything else.
const char* MediaPrefix(uint8_t prefix_kind);

// The file name of the extra media member at `index` (3 or more): prefix, the number
// FirstMediaNumber + index - 3 padded to at least four digits, at most 15 characters of
// NameSuffix, trailing blanks removed. Always terminated; cut to fit `size`.
void MediaFileName(const MemberEntry& entry, uint32_t index, uint16_t first_media_number, char* out,
                   size_t size);
