#include "platform/format_text.h"

#include <cstdarg>
#include <cstdio>

void FormatText(char* out, size_t size, const char* format, ...) {
    if (size == 0) return;
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    // The system library's call leaves a text that fills the buffer unterminated.
    _vsnprintf(out, size, format, arguments);
    out[size - 1] = '\0';
#else
    std::vsnprintf(out, size, format, arguments);
#endif
    va_end(arguments);
}
