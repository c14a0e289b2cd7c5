#include "platform/instance_lock.h"

#include <cstring>

bool BuildInstanceLockName(const char* name, bool global, char* out, size_t size) {
    if (size == 0) return false;
    static constexpr char kGlobal[] = "Global\\";
    static constexpr char kStem[] = "Lumenvault screen saver ";
    size_t length = std::strlen(name);
    while (length > 0 && name[length - 1] == ' ')
        --length;
    const size_t prefix = (global ? sizeof kGlobal - 1 : 0) + sizeof kStem - 1;
    if (prefix + length >= size) {
        out[0] = '\0';
        return false;
    }
    // Copies of known length: the stub imports no string routine for them.
    char* at = out;
    if (global) {
        std::memcpy(at, kGlobal, sizeof kGlobal - 1);
        at += sizeof kGlobal - 1;
    }
    std::memcpy(at, kStem, sizeof kStem - 1);
    at += sizeof kStem - 1;
    for (size_t i = 0; i < length; ++i) {
        const char c = name[i];
        at[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c == '\\' ? '/' : c;
    }
    at[length] = '\0';
    return true;
}
