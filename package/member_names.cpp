#include "package/member_names.h"

#include "platform/format_text.h"

#include <cstring>

const char* MediaPrefix(uint8_t prefix_kind) {
    if (prefix_kind == '_') return "JUK_";
    if (prefix_kind == 0) return "JUKE";
    return "FILE";
}

void MediaFileName(const MemberEntry& entry, uint32_t index, uint16_t first_media_number, char* out,
                   size_t size) {
    if (size == 0) return;
    // The suffix field need not hold a NUL: all 15 bytes may belong to it.
    char suffix[kNameSuffixSize + 1];
    size_t suffix_length = 0;
    while (suffix_length < kNameSuffixSize && entry.NameSuffix[suffix_length] != '\0')
        ++suffix_length;
    std::memcpy(suffix, entry.NameSuffix, suffix_length);
    suffix[suffix_length] = '\0';

    const unsigned long number = static_cast<unsigned long>(first_media_number) + index - 3;
    FormatText(out, size, "%s%04lu%s", MediaPrefix(entry.PrefixKind), number, suffix);
    size_t length = std::strlen(out);
    while (length > 0 && out[length - 1] == ' ')
        out[--length] = '\0';
}
