#include "tools/lmvpack/pe_checksum.h"

namespace {

constexpr uint64_t kChecksumInOptionalHeader = 24 + 64; // from the PE signature

uint32_t Fold(uint64_t sum) {
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum);
}

} // namespace

uint32_t PeChecksum(std::span<const uint8_t> file, uint64_t checksum_field) {
    const auto byte = [&](uint64_t at) -> uint32_t {
        if (at >= file.size() || (at >= checksum_field && at < checksum_field + 4)) return 0;
        return file[at];
    };
    uint64_t sum = 0;
    for (uint64_t at = 0; at < file.size(); at += 2) {
        sum += byte(at) | byte(at + 1) << 8;
        // Folding now and then keeps the sum far from overflow for files of any size.
        if ((at & 0xFFFFF) == 0) sum = Fold(sum);
    }
    return Fold(sum) + static_cast<uint32_t>(file.size());
}

void WritePeChecksum(std::span<uint8_t> file) {
    const uint64_t lfanew =
        file[60] | file[61] << 8 | file[62] << 16 | static_cast<uint32_t>(file[63]) << 24;
    const uint64_t field = lfanew + kChecksumInOptionalHeader;
    const uint32_t checksum = PeChecksum(file, field);
    for (int i = 0; i < 4; ++i)
        file[field + i] = static_cast<uint8_t>(checksum >> (8 * i));
}
