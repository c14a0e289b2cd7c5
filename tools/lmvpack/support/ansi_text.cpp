#include "tools/lmvpack/support/ansi_text.h"

#include "tools/lmvpack/support/utf16_text.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half equals Latin-1. Zero marks the
// five undefined bytes.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<char> EncodeCodePoint(char32_t code_point) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF))
        return static_cast<char>(code_point);
    for (size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == code_point)
            return static_cast<char>(0x80 + i);
    return std::nullopt;
}

std::string Describe(char32_t code_point) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(code_point));
    return buffer;
}

// The character that starts at `at`: its code point and length, or an empty result with the
// reason when the bytes there are no valid UTF-8.
struct DecodedCharacter {
    char32_t code_point;
    size_t length;       // 0 when not valid
    std::string problem; // why not, when not valid
};

DecodedCharacter DecodeCharacter(std::string_view utf8, size_t at) {
    const auto lead = static_cast<uint8_t>(utf8[at]);
    const size_t length = lead < 0x80             ? 1
                          : (lead & 0xE0) == 0xC0 ? 2
                          : (lead & 0xF0) == 0xE0 ? 3
                          : (lead & 0xF8) == 0xF0 ? 4
                                                  : 0;
    if (length == 0 || at + length > utf8.size())
        return {0, 0, "is not valid UTF-8 (byte " + std::to_string(at) + ")"};
    char32_t code_point = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(utf8[at + k]);
        if ((next & 0xC0) != 0x80)
            return {0, 0, "is not valid UTF-8 (byte " + std::to_string(at + k) + ")"};
        code_point = code_point << 6 | (next & 0x3F);
    }
    // Overlong forms would let a "/" or a NUL through in disguise.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < kSmallest[length])
        return {0, 0, "is not valid UTF-8 (overlong form at byte " + std::to_string(at) + ")"};
    return {code_point, length, {}};
}

} // namespace

AnsiConversion Utf8ToWindows1252(std::string_view utf8) {
    AnsiConversion result;
    size_t i = 0;
    while (i < utf8.size()) {
        const DecodedCharacter character = DecodeCharacter(utf8, i);
        if (character.length == 0) {
            result.problem = character.problem;
            return result;
        }
        const std::optional<char> ansi = EncodeCodePoint(character.code_point);
        if (!ansi) {
            result.problem = "holds " + Describe(character.code_point) + " (\"" +
                             std::string(utf8.substr(i, character.length)) +
                             "\"), which Windows-1252, the code page lmvpack writes, cannot hold";
            return result;
        }
        result.text += *ansi;
        i += character.length;
    }
    return result;
}

std::string FirstNonAsciiCharacter(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (static_cast<uint8_t>(utf8[i]) < 0x80) continue;
        const DecodedCharacter character = DecodeCharacter(utf8, i);
        if (character.length == 0) {
            char byte[16];
            std::snprintf(byte, sizeof byte, "the byte 0x%02X",
                          static_cast<unsigned>(static_cast<uint8_t>(utf8[i])));
            return byte;
        }
        return "\"" + std::string(utf8.substr(i, character.length)) + "\" (" +
               Describe(character.code_point) + ")";
    }
    return {};
}

std::string Windows1252ToUtf8(std::string_view ansi) {
    std::string out;
    for (const char c : ansi) {
        const auto byte = static_cast<uint8_t>(c);
        char32_t code_point = byte;
        if (byte >= 0x80 && byte < 0xA0) {
            code_point = kHighControls[byte - 0x80];
            if (code_point == 0) code_point = 0xFFFD;
        }
        AppendUtf8(out, code_point);
    }
    return out;
}
