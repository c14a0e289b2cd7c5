// The installer reads every text of its package (name, media suffixes, agreement) in the
// system's ANSI code page. lmvpack writes Windows-1252, the ANSI code page of English and
// Western European Windows, and converts the manifest's UTF-8 to it; characters that
// Windows-1252 cannot hold are refused rather than replaced.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct AnsiConversion {
    std::string text;    // Windows-1252 bytes, valid when `problem` is empty
    std::string problem; // why the text cannot be written, for the user
};

// UTF-8 to Windows-1252.
AnsiConversion Utf8ToWindows1252(std::string_view utf8);

// The first character of `utf8` beyond ASCII, shown as itself and by its code point
// ("\"é\" (U+00E9)"), or empty when every character is ASCII. A byte that starts no valid
// character is shown by its value.
std::string FirstNonAsciiCharacter(std::string_view utf8);

// Windows-1252 to UTF-8, for showing installer texts on the host. The five byte values that
// Windows-1252 leaves undefined come out as U+FFFD.
std::string Windows1252ToUtf8(std::string_view ansi);
