// Small text helpers for paths, shared by the uninstaller's rules. None of them throws:
// lmvuninst.exe is built without exceptions, and string_view's own substr would pull the
// whole exception machinery into it.
#pragma once

#include "platform/fixed_text.h"

#include <cstddef>
#include <string_view>

// The part of `text` from `offset` on, at most `length` characters; empty past the end.
inline std::string_view Part(std::string_view text, size_t offset,
                             size_t length = std::string_view::npos) {
    if (offset > text.size()) return {};
    const size_t rest = text.size() - offset;
    return std::string_view(text.data() + offset, length < rest ? length : rest);
}

// Paths compare without regard to ASCII letter case, as Windows compares them.
inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
    return true;
}

inline bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualIgnoringAsciiCase(Part(text, 0, prefix.size()), prefix);
}
