// Wine's saved registry (system.reg, user.reg in a prefix), read from the Linux side: what an
// installer wrote, without starting another Windows program to ask.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct RegistryValue {
    std::string name;           // "" for the key's default value
    std::string type;           // "REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_DWORD", "hex(N)"
    std::string text;           // strings in UTF-8; a DWORD as its decimal number
    std::vector<uint8_t> bytes; // hex values
};

struct RegistryKey {
    std::string path; // as saved, relative to the file's root ("Software\\Microsoft\\...")
    std::vector<RegistryValue> values;
};

// Keys by their path in lower case (Windows compares key names without case).
using Registry = std::map<std::string, RegistryKey>;

Registry ParseWineRegistry(std::string_view text);

// The keys directly below `parent` (any case), in the order of their names.
std::vector<const RegistryKey*> SubKeys(const Registry& registry, std::string_view parent);

const RegistryValue* FindValue(const RegistryKey& key, std::string_view name);

// One value as regedit would show it: "REG_SZ  text", "REG_DWORD  0x1 (1)".
std::string DescribeValue(const RegistryValue& value);
