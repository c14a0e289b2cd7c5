#include "install/unsupported_types.h"

#include "platform/fixed_text.h"

#include <algorithm>
#include <cstring>

void MediaTypeOf(const char* path, char* out, size_t size) {
    if (size == 0) return;
    const char* file_name = std::strrchr(path, '\\');
    file_name = file_name ? file_name + 1 : path;
    const char* dot = std::strrchr(file_name, '.');
    const char* type = dot ? dot : file_name;
    const size_t length = std::min(std::strlen(type), size - 1);
    std::memcpy(out, type, length);
    out[length] = '\0';
}

void AddUnsupportedType(char* types, size_t size, const char* type) {
    if (size == 0) return;
    // Once the list is marked as cut, it stays a clean beginning of the full list.
    if (std::strstr(types, type) != nullptr || std::strstr(types, kMoreTypesLine) != nullptr)
        return;
    const size_t used = TextLength(types, size);
    if (used >= size) return;
    // Room that stays free after the type and its line end, for the marker line and the
    // terminator.
    const size_t type_length = std::strlen(type);
    const size_t marker_room = sizeof kMoreTypesLine; // the marker and the terminator
    if (type_length + 2 + marker_room <= size - used) {
        std::memcpy(types + used, type, type_length);
        std::memcpy(types + used + type_length, "\r\n", 3);
        return;
    }
    if (marker_room <= size - used) std::memcpy(types + used, kMoreTypesLine, marker_room);
}
