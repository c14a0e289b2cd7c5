// File names that come from text (the manifest, an installer's member names) are UTF-8. Linux
// takes a narrow path as it is; Windows would read it in the ANSI code page, so the conversion
// says which encoding it is.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
