#include "tools/lmvpack/trial/wine_registry.h"

#include "tools/lmvpack/support/utf16_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Wine's escapes: \\ \" \n \r \t \0 and \xHHHH, a UTF-16 unit of up to four hex digits;
// other characters stand for themselves (the file is UTF-8).
std::string Unescape(std::string_view text) {
    std::u16string units;
    std::string out;
    auto flush = [&] {
        out += Utf16ToUtf8(units);
        units.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            flush();
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'x') {
            uint32_t unit = 0;
            size_t digits = 0;
            while (digits < 4 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0) {
                unit = unit << 4 | static_cast<uint32_t>(HexDigit(text[++i]));
                ++digits;
            }
            units += static_cast<char16_t>(unit);
            continue;
        }
        flush();
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        default:
            out += next;
            break;
        }
    }
    flush();
    return out;
}

// The end of a quoted text that starts after its opening quote.
size_t ClosingQuote(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i;
        }
    }
    return std::string_view::npos;
}

std::vector<uint8_t> HexBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            high = -1;
            continue;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return bytes;
}

RegistryValue ParseData(std::string name, std::string_view data) {
    RegistryValue value;
    value.name = std::move(name);
    auto quoted = [&](size_t open) {
        const size_t close = ClosingQuote(data, open + 1);
        return Unescape(data.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
    };
    if (data.starts_with("\"")) {
        value.type = "REG_SZ";
        value.text = quoted(0);
    } else if (data.starts_with("str(2):")) {
        value.type = "REG_EXPAND_SZ";
        value.text = quoted(7);
    } else if (data.starts_with("str(7):")) {
        value.type = "REG_MULTI_SZ";
        value.text = quoted(7);
    } else if (data.starts_with("dword:")) {
        value.type = "REG_DWORD";
        value.text = std::to_string(std::stoul(std::string(data.substr(6)), nullptr, 16));
    } else if (data.starts_with("hex")) {
        const size_t colon = data.find(':');
        const std::string_view kind =
            data.substr(3, colon == std::string_view::npos ? 0 : colon - 3);
        value.type = kind.size() > 2 ? "hex" + std::string(kind) : "hex(3)";
        value.bytes =
            HexBytes(data.substr(colon == std::string_view::npos ? data.size() : colon + 1));
    } else {
        value.type = "unknown";
        value.text = std::string(data);
    }
    return value;
}

} // namespace

Registry ParseWineRegistry(std::string_view text) {
    // Long hex values go on over lines that end in a backslash.
    std::string joined;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
            i += 1;
            while (i + 1 < text.size() && text[i + 1] == ' ')
                ++i;
            continue;
        }
        joined += text[i];
    }
    Registry registry;
    RegistryKey* current = nullptr;
    size_t start = 0;
    while (start < joined.size()) {
        size_t end = joined.find('\n', start);
        if (end == std::string::npos) end = joined.size();
        std::string_view line(joined.data() + start, end - start);
        start = end + 1;
        if (line.ends_with("\r")) line.remove_suffix(1);
        if (line.starts_with("[")) {
            const size_t close = line.rfind(']');
            if (close == std::string_view::npos) continue;
            const std::string path = Unescape(line.substr(1, close - 1));
            RegistryKey& key = registry[Lower(path)];
            key.path = path;
            current = &key;
            continue;
        }
        if (!current || line.empty()) continue;
        try {
            if (line.starts_with("@=")) {
                current->values.push_back(ParseData("", line.substr(2)));
            } else if (line.starts_with("\"")) {
                const size_t close = ClosingQuote(line, 1);
                if (close == std::string_view::npos || close + 1 >= line.size() ||
                    line[close + 1] != '=')
                    continue;
                current->values.push_back(
                    ParseData(Unescape(line.substr(1, close - 1)), line.substr(close + 2)));
            }
        } catch (const std::exception&) {
            // A value this reader does not understand is left out; the rest still reads.
        }
    }
    return registry;
}

std::vector<const RegistryKey*> SubKeys(const Registry& registry, std::string_view parent) {
    const std::string prefix = Lower(parent) + "\\";
    std::vector<const RegistryKey*> keys;
    for (const auto& [lowered, key] : registry)
        if (lowered.starts_with(prefix) && lowered.find('\\', prefix.size()) == std::string::npos)
            keys.push_back(&key);
    return keys;
}

const RegistryValue* FindValue(const RegistryKey& key, std::string_view name) {
    const std::string wanted = Lower(name);
    for (const RegistryValue& value : key.values)
        if (Lower(value.name) == wanted) return &value;
    return nullptr;
}

std::string DescribeValue(const RegistryValue& value) {
    if (value.type == "REG_DWORD") {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%lx", std::stoul(value.text));
        return value.type + " " + hex + " (" + value.text + ")";
    }
    if (!value.bytes.empty() || value.type.starts_with("hex")) {
        std::string text = value.type + " ";
        for (size_t i = 0; i < value.bytes.size(); ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, "%02x", value.bytes[i]);
            text += (i ? "," : "") + std::string(byte);
        }
        return text;
    }
    std::string shown;
    for (const char c : value.text)
        shown += c == '\0'  ? std::string("\\0")
                 : c == '"' ? std::string("\\\"")
                            : std::string(1, c);
    return value.type + " \"" + shown + "\"";
}
