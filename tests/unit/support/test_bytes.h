// Test data that several suites share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

// Reproducible incompressible bytes: the same seed gives the same bytes.
inline std::vector<uint8_t> RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(random());
    return bytes;
}
