// SHA-256 (FIPS 180-4), for the installer's digest that a winget manifest carries and winget
// compares with what it downloads. Fed a piece at a time, so an installer of any size is
// hashed in a fixed amount of memory.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

class Sha256 {
  public:
    Sha256();
    void Update(std::span<const uint8_t> bytes);
    // The digest of everything fed so far; the object is spent afterwards.
    std::array<uint8_t, 32> Finish();

  private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> pending_{};
    size_t pending_size_ = 0;
    uint64_t total_bytes_ = 0;
};

// The digest in upper-case hexadecimal, as winget manifests write it.
std::string HexUpper(std::span<const uint8_t> digest);
