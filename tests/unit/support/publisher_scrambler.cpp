#include "support/publisher_scrambler.h"

#include <cstdio>

std::optional<PublisherBlockBytes> ScramblePublisherText(std::string_view text) {
    if (text.size() >= kPublisherBlockSize) return std::nullopt;
    PublisherBlockBytes block{};
    size_t at = 0;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        // Restoring adds 31 and then swaps the case; the case swap is its own inverse.
        const uint8_t scrambled =
            static_cast<uint8_t>(SwapLetterCase(static_cast<uint8_t>(*it)) - 31);
        if (*it == '\0' || scrambled == 0 || scrambled == kPublisherBlockEnd) return std::nullopt;
        block[at++] = scrambled;
    }
    block[at] = kPublisherBlockEnd;
    return block;
}

std::string RenderPublisherBlockHeader(std::string_view text, const PublisherBlockBytes& block) {
    std::string header =
        "// Generated data: the publisher text \"" + std::string(text) +
        "\" scrambled by ScramblePublisherText\n"
        "// (tests/unit/support/publisher_scrambler.h). The unit tests regenerate it and\n"
        "// compare; to change the publisher, paste what RenderPublisherBlockHeader gives for the\n"
        "// new text.\n"
        "#pragma once\n"
        "\n"
        "#include \"install/publisher_text.h\"\n"
        "\n"
        "// clang-format off\n"
        "inline constexpr uint8_t PublisherBlock[kPublisherBlockSize] = {";
    for (size_t at = 0; at < block.size(); ++at) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", block[at]);
        header += at % 12 == 0 ? "\n    " : " ";
        header += byte;
        header += ",";
    }
    header += "\n};\n// clang-format on\n";
    return header;
}
