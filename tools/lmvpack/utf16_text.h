// UTF-16 text for the parts of an installer that Windows reads as Unicode: resource names
// and the strings of the version information.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// None when `utf8` is not valid UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// Unpaired surrogates come out as U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
