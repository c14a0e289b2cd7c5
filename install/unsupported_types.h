// The list of media types that no media device could open (`UnsupportedTypes`): each type
// with its dot, exactly as in the file name, followed by CR LF; each type listed once.
#pragma once

#include <cstddef>

// The type of the media file at `path`: its file name from the last "." on. Only the file
// name counts, so a dot in a folder name never yields a "type" such as ".Saver\FILE0051".
// A file name without any "." stands for itself: the whole name is its type, so that the
// user is still told which file could not be played. Always terminated; cut to fit `size`.
void MediaTypeOf(const char* path, char* out, size_t size);

// Adds `type` and CR LF to the list of `size` bytes, unless the list already contains the
// text anywhere (a plain, case-sensitive search: ".MP" is found in ".MP3", ".mid" is not found
// in ".MID"). The last bytes of room (the size of kMoreTypesLine) are kept for the marker
// "...", which is added once, in place of the types that no longer fit, so the list never
// loses its line ends and still shows that something is missing. Nothing is written past
// `size`.
void AddUnsupportedType(char* types, size_t size, const char* type);

constexpr const char kMoreTypesLine[] = "...\r\n";
