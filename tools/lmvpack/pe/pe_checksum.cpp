#include "tools/lmvpack/pe/pe_checksum.h"

#include "tools/lmvpack/pe/little_endian.h"

namespace {

constexpr uint64_t kChecksumInOptionalHeader = 24 + 64; // from the PE signature

uint64_t Fold(uint64_t sum) {
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

} // namespace

void PeChecksumSum::Add(std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) {
        const uint32_t value = at_ >= field_ && at_ < field_ + 4 ? 0 : byte;
        if ((at_ & 1) == 0) {
            low_ = value;
        } else {
            sum_ += low_ | value << 8;
            if ((at_ & 0xFFFFF) == 0xFFFFF) sum_ = Fold(sum_);
        }
        ++at_;
    }
}

uint32_t PeChecksumSum::Finish() const {
    const uint64_t sum = (at_ & 1) != 0 ? sum_ + low_ : sum_;
    return static_cast<uint32_t>(Fold(sum) + at_);
}

uint64_t PeChecksumField(std::span<const uint8_t> headers) {
    return LoadU32(headers, 60) + kChecksumInOptionalHeader; // from e_lfanew
}

uint32_t PeChecksum(std::span<const uint8_t> file, uint64_t checksum_field) {
    PeChecksumSum sum(checksum_field);
    sum.Add(file);
    return sum.Finish();
}
