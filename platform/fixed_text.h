// Text and paths in fixed-size buffers, shared by the installer and the uninstaller. Both are
// built without exceptions and without the standard strings, and every path they handle lives
// in a kPathSize buffer. Each helper writes only inside the `size` bytes it is given and leaves
// a terminated string there.
//
// A text that does not fit is met in one of two ways. AppendText cuts it: a message that shows
// part of a long name is better than none. AppendPath refuses it whole: a cut path names some
// other file, and writing there could overwrite what the user owns.
//
// Inline, so that the uninstaller takes these without a library of its own; each is small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The path buffers of both programs: the longest Windows path and its terminator.
constexpr uint32_t kPathSize = 260;

// The length of the string in `buffer`, or `size` when no terminator comes within it. Our
// own rather than strnlen, whose copy in the compiler's support library (older MSVCRT.DLL
// lacks it) brings a section of unwind tables into every program.
inline size_t TextLength(const char* buffer, size_t size) {
    size_t length = 0;
    while (length < size && buffer[length] != '\0')
        ++length;
    return length;
}

// Appends text to the NUL-terminated buffer, as much as fits. False when it was cut.
inline bool AppendText(char* buffer, size_t size, const char* text) {
    if (size == 0) return false;
    size_t used = TextLength(buffer, size);
    if (used == size) { // an unterminated buffer is cut at its end
        buffer[size - 1] = '\0';
        return false;
    }
    while (*text != '\0' && used + 1 < size)
        buffer[used++] = *text++;
    buffer[used] = '\0';
    return *text == '\0';
}

// Appends `text` to the string in `buffer`. False, with the string cut back to empty, when the
// result would not fit.
inline bool AppendPath(char* buffer, size_t size, const char* text) {
    if (size == 0) return false;
    const size_t length = TextLength(buffer, size);
    const size_t added = std::strlen(text);
    if (length >= size || added >= size - length) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer + length, text, added + 1);
    return true;
}

// Appends a backslash unless the string already ends in one, then `level`. An empty string
// gets the backslash too, so that levels hang from the root of the current drive.
inline bool AppendPathLevel(char* buffer, size_t size, const char* level) {
    if (size == 0) return false;
    const size_t length = TextLength(buffer, size);
    const bool has_separator = length > 0 && length < size && buffer[length - 1] == '\\';
    if (!has_separator && !AppendPath(buffer, size, "\\")) return false;
    return AppendPath(buffer, size, level);
}

// directory + "\" (unless it ends in one) + file into `out`. False, with `out` empty, when the
// result would not fit.
inline bool JoinPath(const char* directory, const char* file, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    return AppendPath(out, size, directory) && AppendPathLevel(out, size, file);
}

// The length of the first `length` characters of `text` without the blanks (character 32
// only) at their end.
inline size_t LengthWithoutTrailingBlanks(const char* text, size_t length) {
    while (length > 0 && text[length - 1] == ' ')
        --length;
    return length;
}

// Removes trailing blanks (character 32 only) in place.
inline void RemoveTrailingBlanks(char* text) {
    text[LengthWithoutTrailingBlanks(text, std::strlen(text))] = '\0';
}

// a-z as A-Z; every other byte stays, letters beyond ASCII included.
inline char ToUpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Upper-cases a-z in place.
inline void UpperCaseAscii(char* text) {
    for (; *text != '\0'; ++text)
        *text = ToUpperAscii(*text);
}
