#include "install/install_layout.h"

#include "platform/fixed_text.h"

#include <cstring>
#include <initializer_list>

namespace {

// Whether the first `length` characters of `name` are `device` (given in capitals), without
// regard to ASCII case.
bool IsDevice(const char* name, size_t length, const char* device) {
    if (std::strlen(device) != length) return false;
    for (size_t at = 0; at < length; ++at)
        if (ToUpperAscii(name[at]) != device[at]) return false;
    return true;
}

// The digits of COM1 to COM9 and LPT1 to LPT9; Windows takes the superscripts of
// Windows-1252 for digits there too. There is no COM0 or LPT0: such files open as files.
bool IsPortDigit(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= '1' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

} // namespace

bool AppendFallbackDataLevels(char* folder, size_t size) {
    return AppendPathLevel(folder, size, "All Users") &&
           AppendPathLevel(folder, size, "Application Data");
}

bool AppendOwnLevels(char* folder, size_t size, const char* base_name) {
    return AppendPathLevel(folder, size, kPublisherLevel) &&
           AppendPathLevel(folder, size, kProductLevel) &&
           AppendPathLevel(folder, size, base_name) && AppendPathLevel(folder, size, "");
}

bool BuildInstallLogPath(const char* own_folder, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    return own_folder[0] != '\0' && AppendPath(out, size, own_folder) &&
           AppendPath(out, size, kInstallLogName);
}

bool IsReservedDeviceName(std::string_view name) {
    // Windows looks only at what comes before the first dot, without the blanks at its end.
    size_t length = 0;
    while (length < name.size() && name[length] != '.')
        ++length;
    length = LengthWithoutTrailingBlanks(name.data(), length);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"})
        if (IsDevice(name.data(), length, device)) return true;
    return length == 4 && (IsDevice(name.data(), 3, "COM") || IsDevice(name.data(), 3, "LPT")) &&
           IsPortDigit(name[3]);
}
