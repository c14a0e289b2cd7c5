// Test data that several suites share.
#pragma once

#include "decode/adaptive_model.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// Reproducible incompressible bytes: the same seed gives the same bytes.
inline std::vector<uint8_t> RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(random());
    return bytes;
}

// Reproducible text of `size` bytes: words drawn from `words`, so short, near repeats abound
// as in prose. The same seed and words give the same text.
template <size_t kCount>
std::vector<uint8_t> WordText(size_t size, unsigned seed, const char* const (&words)[kCount]) {
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size)
        text += words[random() % kCount];
    text.resize(size);
    return {text.begin(), text.end()};
}

// A stream of literals only, coded with the model the way the format defines it.
inline std::vector<uint8_t> LiteralStream(const std::vector<uint8_t>& bytes) {
    AdaptiveModel model;
    ResetModel(model);
    std::vector<uint8_t> stream;
    uint32_t pending = 0;
    int pending_bits = 0;
    for (const uint8_t byte : bytes) {
        int length = 0;
        const uint32_t code = SymbolCode(model, byte, &length);
        for (int bit = length - 1; bit >= 0; --bit) {
            pending = (pending << 1) | ((code >> bit) & 1);
            if (++pending_bits == 8) {
                stream.push_back(static_cast<uint8_t>(pending));
                pending = 0;
                pending_bits = 0;
            }
        }
        UpdateModel(model, byte);
    }
    if (pending_bits != 0) stream.push_back(static_cast<uint8_t>(pending << (8 - pending_bits)));
    return stream;
}
