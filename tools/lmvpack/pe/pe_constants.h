// The values of the PE format that lmvpack's readers and writers of installers share.
#pragma once

#include <cstdint>

// At the file offset that the DOS header's e_lfanew gives: "PE\0\0".
constexpr uint32_t kPeSignature = 0x00004550;
// The optional header's magic of a 32-bit image.
constexpr uint16_t kPe32Magic = 0x10B;
// In a resource directory entry: set in the name, the name is a string (at the offset in the
// other bits); set in the target, the target is a subdirectory rather than a data entry.
constexpr uint32_t kResourceHighBit = 0x80000000u;
