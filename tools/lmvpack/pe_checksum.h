// The checksum in a PE file's optional header. Windows does not check it for programs, but
// scanners and signing tools compute it and flag a wrong one, and placing a package into the
// stub changes the file it was computed over: every installer gets its own.
#pragma once

#include <cstdint>
#include <span>

// The sum Windows defines: the file as 16-bit little-endian words (a last odd byte as a word
// of its own) with the four bytes at `checksum_field` counted as zero, added with the carries
// folded back into 16 bits, plus the file's length.
uint32_t PeChecksum(std::span<const uint8_t> file, uint64_t checksum_field);

// Writes the checksum of `file`, a PE file whose headers InspectStub has accepted, into its
// optional header.
void WritePeChecksum(std::span<uint8_t> file);
