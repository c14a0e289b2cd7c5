#include "platform/format_text.h"

#include <cstdarg>
#include <cstdio>

bool FormatText(char* out, size_t size, const char* format, ...) {
    if (size == 0) return false;
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    // The system library's call answers -1 for a text that does not fit, and leaves one that
    // fills the buffer exactly unterminated.
    const int length = _vsnprintf(out, size, format, arguments);
    out[size - 1] = '\0';
#else
    const int length = std::vsnprintf(out, size, format, arguments);
#endif
    va_end(arguments);
    return length >= 0 && static_cast<size_t>(length) < size;
}
