// The PE checksum worked out word by word with the carry folded at once, over a copy whose
// checksum field is zeroed: a yardstick of its own for the checksums that the stub's build
// step and lmvpack write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline uint32_t StoredPeChecksum(const std::vector<uint8_t>& file) {
    const size_t field = (file[60] | file[61] << 8 | file[62] << 16 | file[63] << 24) + 88;
    return file[field] | file[field + 1] << 8 | file[field + 2] << 16 |
           static_cast<uint32_t>(file[field + 3]) << 24;
}

inline uint32_t ReferencePeChecksum(std::vector<uint8_t> file) {
    const size_t field = (file[60] | file[61] << 8 | file[62] << 16 | file[63] << 24) + 88;
    for (size_t i = 0; i < 4; ++i)
        file.at(field + i) = 0;
    const size_t length = file.size();
    if (length % 2 != 0) file.push_back(0);
    uint32_t sum = 0;
    for (size_t at = 0; at < file.size(); at += 2) {
        sum += file[at] | file[at + 1] << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<uint32_t>(length);
}
