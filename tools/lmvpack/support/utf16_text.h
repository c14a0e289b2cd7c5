// UTF-16 text for the parts of an installer that Windows reads as Unicode: resource names
// and the strings of the version information; and the tool's one UTF-8 encoder, which the
// other conversions (from Windows-1252, from certificate names) use as well.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// `code` as UTF-8: one to four bytes. A surrogate is written as it comes; callers that may
// meet one replace it first.
void AppendUtf8(std::string& out, char32_t code);

// None when `utf8` is not valid UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// Unpaired surrogates come out as U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
