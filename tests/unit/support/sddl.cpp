#include "support/sddl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// The OR of the two-letter codes that `text` is made of.
template <typename Value>
Value Codes(const std::string& text, const std::map<std::string, Value>& codes, const char* what) {
    Value value = 0;
    for (size_t at = 0; at + 2 <= text.size(); at += 2) {
        const auto code = codes.find(text.substr(at, 2));
        if (code == codes.end())
            ADD_FAILURE() << what << " " << text.substr(at, 2);
        else
            value = static_cast<Value>(value | code->second);
    }
    return value;
}

uint32_t Rights(const std::string& text) {
    if (text.rfind("0x", 0) == 0) return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
    static const std::map<std::string, uint32_t> codes = {
        {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
        {"RC", 0x00020000}, {"SD", 0x00010000}, {"WD", 0x00040000}, {"WO", 0x00080000},
        {"FA", 0x001F01FF}, {"FR", 0x00120089}, {"FW", 0x00120116}, {"FX", 0x001200A0},
        {"CC", 0x00000001}, {"DC", 0x00000002}, {"LC", 0x00000004}, {"SW", 0x00000008},
        {"RP", 0x00000010}, {"WP", 0x00000020}, {"DT", 0x00000040}, {"LO", 0x00000080},
        {"CR", 0x00000100}};
    return Codes(text, codes, "right");
}

uint8_t AceFlags(const std::string& text) {
    static const std::map<std::string, uint8_t> codes = {
        {"OI", 0x01}, {"CI", 0x02}, {"NP", 0x04}, {"IO", 0x08}, {"ID", 0x10}};
    return Codes(text, codes, "ACE flag");
}

std::vector<uint8_t> Ace(const std::string& text) {
    const std::vector<std::string> fields = Split(text, ';');
    if (fields.size() != 6) {
        ADD_FAILURE() << "ACE " << text;
        return {};
    }
    static const std::map<std::string, uint8_t> types = {{"A", 0},  {"D", 1},  {"OA", 5},
                                                         {"OD", 6}, {"XA", 9}, {"XD", 10}};
    const auto type = types.find(fields[0]);
    if (type == types.end()) ADD_FAILURE() << "ACE type " << fields[0];
    const bool object = type != types.end() && (type->second == 5 || type->second == 6);
    const std::vector<uint8_t> sid = SidBytes(fields[5]);
    std::vector<uint8_t> ace;
    ace.push_back(type == types.end() ? 0xFF : type->second);
    ace.push_back(AceFlags(fields[1]));
    Put16(ace, static_cast<uint32_t>(8 + (object ? 4 : 0) + sid.size()));
    Put32(ace, Rights(fields[2]));
    if (object) Put32(ace, 0); // no object types
    ace.insert(ace.end(), sid.begin(), sid.end());
    return ace;
}

std::vector<uint8_t> Acl(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && text[at] != '(')
        ++at; // the descriptor's flags: P, AI, AR
    std::vector<std::vector<uint8_t>> aces;
    while (at < text.size()) {
        const size_t close = text.find(')', at);
        if (text[at] != '(' || close == std::string::npos) {
            ADD_FAILURE() << "DACL " << text;
            break;
        }
        aces.push_back(Ace(text.substr(at + 1, close - at - 1)));
        at = close + 1;
    }
    size_t size = 8;
    for (const auto& ace : aces)
        size += ace.size();
    std::vector<uint8_t> acl = {2, 0};
    Put16(acl, static_cast<uint32_t>(size));
    Put16(acl, static_cast<uint32_t>(aces.size()));
    Put16(acl, 0);
    for (const auto& ace : aces)
        acl.insert(acl.end(), ace.begin(), ace.end());
    return acl;
}

} // namespace

std::vector<uint8_t> SidBytes(const std::string& sid) {
    static const std::map<std::string, std::string> aliases = {
        {"SY", "S-1-5-18"}, {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"AU", "S-1-5-11"},
        {"WD", "S-1-1-0"},  {"CO", "S-1-3-0"},      {"AN", "S-1-5-7"},      {"OW", "S-1-3-4"}};
    const auto alias = aliases.find(sid);
    const std::vector<std::string> parts = Split(alias != aliases.end() ? alias->second : sid, '-');
    if (parts.size() < 3 || parts[0] != "S" || parts[1] != "1") {
        ADD_FAILURE() << "SID " << sid;
        return {};
    }
    std::vector<uint8_t> bytes = {1, static_cast<uint8_t>(parts.size() - 3)};
    const uint64_t authority = std::stoull(parts[2]);
    for (int shift = 40; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(authority >> shift));
    for (size_t i = 3; i < parts.size(); ++i)
        Put32(bytes, static_cast<uint32_t>(std::stoul(parts[i])));
    return bytes;
}

SddlBytes ParseSddl(const std::string& sddl) {
    SddlBytes out;
    const size_t dacl = sddl.find("D:");
    const std::string head = sddl.substr(0, dacl);
    if (head.rfind("O:", 0) == 0)
        out.owner = SidBytes(head.substr(2));
    else if (!head.empty())
        ADD_FAILURE() << "SDDL " << sddl;
    if (dacl != std::string::npos && sddl.substr(dacl + 2) != "NO_ACCESS_CONTROL")
        out.dacl = Acl(sddl.substr(dacl + 2));
    return out;
}
