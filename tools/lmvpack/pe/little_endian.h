// Little-endian fields of the Windows file formats lmvpack reads and writes (PE headers,
// resources, icons, version information, certificate tables). Loads trust the caller to
// have checked that the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline uint16_t LoadU16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline uint32_t LoadU32(std::span<const uint8_t> bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

inline void StoreU16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    StoreU16(bytes, at, value & 0xFFFF);
    StoreU16(bytes, at + 2, value >> 16);
}

inline void AppendU16(std::vector<uint8_t>& bytes, uint32_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline void AppendU32(std::vector<uint8_t>& bytes, uint32_t value) {
    AppendU16(bytes, value & 0xFFFF);
    AppendU16(bytes, value >> 16);
}
