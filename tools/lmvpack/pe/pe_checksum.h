// The checksum in a PE file's optional header. Windows does not check it for programs, but
// scanners and signing tools compute it and flag a wrong one, and placing a package into the
// stub changes the file it was computed over: every installer gets its own.
#pragma once

#include <cstdint>
#include <span>

// The sum Windows defines: the file as 16-bit little-endian words (a last odd byte as a word
// of its own) with the four bytes at the checksum field counted as zero, added with the
// carries folded back into 16 bits, plus the file's length. Fed in pieces of any size, so
// that an installer is summed as it is written.
class PeChecksumSum {
  public:
    explicit PeChecksumSum(uint64_t checksum_field) : field_(checksum_field) {}
    void Add(std::span<const uint8_t> bytes);
    uint32_t Finish() const;

  private:
    uint64_t field_;
    uint64_t at_ = 0;  // bytes added so far
    uint64_t sum_ = 0; // folded now and then, so that it stays far from overflow
    uint32_t low_ = 0; // the low byte of a word whose high byte is still to come
};

// Where the checksum lies in a PE file whose headers InspectStub has accepted.
uint64_t PeChecksumField(std::span<const uint8_t> headers);

uint32_t PeChecksum(std::span<const uint8_t> file, uint64_t checksum_field);
