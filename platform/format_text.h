// Bounded text formatting with snprintf's contract (the result always ends in a zero byte and
// never runs past `size`), over the host's own C library. In the installer that is the
// system's MSVCRT.DLL: the compiler's portable printf, which C++ code gets by default, would
// add some 20 KB of floating-point formatting to every download and is never needed here.
#pragma once

#include <cstddef>

#ifdef _WIN32
#define LMV_FORMAT_CHECK __attribute__((format(ms_printf, 3, 4)))
#else
#define LMV_FORMAT_CHECK __attribute__((format(printf, 3, 4)))
#endif

// Formats into `out` (a buffer of `size` bytes, size > 0), cutting what does not fit. True
// when the whole text fit, false when it was cut.
bool FormatText(char* out, size_t size, const char* format, ...) LMV_FORMAT_CHECK;
