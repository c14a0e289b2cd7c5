#include "install/publisher_text.h"

#include <algorithm>
#include <cstring>

uint8_t SwapLetterCase(uint8_t byte) {
    if (byte >= 'A' && byte <= 'Z') return static_cast<uint8_t>(byte - 'A' + 'a');
    if (byte >= 'a' && byte <= 'z') return static_cast<uint8_t>(byte - 'a' + 'A');
    return byte;
}

void RestorePublisherText(const uint8_t (&block)[kPublisherBlockSize],
                          char (&text)[kPublisherTextSize]) {
    std::memset(text, 0, sizeof text);
    std::memcpy(text, block, sizeof block);
    if (void* end = std::memchr(text, kPublisherBlockEnd, sizeof text))
        *static_cast<char*>(end) = '\0';

    // The length is measured afresh at every step: a byte that turns into zero ends the text.
    for (size_t at = 0; at < std::strlen(text); ++at) {
        const uint8_t shifted = static_cast<uint8_t>(static_cast<uint8_t>(text[at]) + 31);
        text[at] = static_cast<char>(SwapLetterCase(shifted));
    }
    std::reverse(text, text + std::strlen(text));
}
