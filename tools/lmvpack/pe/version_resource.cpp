#include "tools/lmvpack/pe/version_resource.h"

#include "tools/lmvpack/pe/little_endian.h"
#include "tools/lmvpack/support/tool_error.h"
#include "tools/lmvpack/support/utf16_text.h"

#include <charconv>

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint16_t kBinaryValue = 0, kTextValue = 1;
constexpr uint32_t kOsWindowsNt = 0x00040004; // VOS_NT_WINDOWS32
constexpr uint32_t kFileTypeApplication = 1;  // VFT_APP
// US English (0x0409) in Unicode (code page 1200, 0x04B0): the table key and its translation.
constexpr char16_t kStringTableKey[] = u"040904B0";
constexpr uint32_t kTranslation = 0x04B00409;
// Every block records its length in 16 bits; a text this long still leaves room for the rest.
constexpr size_t kLongestText = 4096;

// One node of the resource: a 16-bit length, the value's length, its type, a key, then the
// value and the children, each starting on a 32-bit boundary of the resource.
struct Block {
    std::u16string key;
    uint16_t type = kBinaryValue;
    std::vector<uint8_t> value;
    uint16_t value_length = 0; // bytes for a binary value, characters for a text
    std::vector<Block> children;
};

void Pad(std::vector<uint8_t>& out) {
    while (out.size() % 4 != 0)
        out.push_back(0);
}

void Serialize(const Block& block, std::vector<uint8_t>& out) {
    Pad(out);
    const size_t start = out.size();
    AppendU16(out, 0); // the length, known at the end
    AppendU16(out, block.value_length);
    AppendU16(out, block.type);
    for (const char16_t c : block.key)
        AppendU16(out, c);
    AppendU16(out, 0);
    Pad(out);
    out.insert(out.end(), block.value.begin(), block.value.end());
    for (const Block& child : block.children)
        Serialize(child, out);
    const size_t length = out.size() - start;
    if (length > 0xFFFF) throw BuildError("the version information is too long");
    StoreU16(out, start, static_cast<uint32_t>(length));
}

std::u16string Utf16(const std::string& text, const std::string& what) {
    const std::optional<std::u16string> wide = Utf8ToUtf16(text);
    if (!wide) throw BuildError(what + " is not valid UTF-8");
    if (wide->size() > kLongestText)
        throw BuildError(what + " is longer than " + std::to_string(kLongestText) + " characters");
    return *wide;
}

Block TextBlock(const std::string& key, const std::string& value) {
    Block block{Utf16(key, "a version key"), kTextValue, {}, 0, {}};
    const std::u16string text = Utf16(value, "the version value of " + key) + u'\0';
    block.value_length = static_cast<uint16_t>(text.size());
    for (const char16_t c : text)
        AppendU16(block.value, c);
    return block;
}

// Reading back: a bounded view of one block.
struct View {
    std::span<const uint8_t> bytes; // the block, `length` bytes
    uint16_t value_length = 0;
    uint16_t type = 0;
    std::u16string key;
    size_t value_start = 0; // offset of the value inside `bytes`
};

std::optional<View> ReadBlock(std::span<const uint8_t> data, size_t at) {
    if (at + 6 > data.size()) return std::nullopt;
    const uint16_t length = LoadU16(data, at);
    if (length < 6 || at + length > data.size()) return std::nullopt;
    View view;
    view.bytes = data.subspan(at, length);
    view.value_length = LoadU16(data, at + 2);
    view.type = LoadU16(data, at + 4);
    size_t position = 6;
    for (;;) {
        if (position + 2 > length) return std::nullopt;
        const char16_t c = static_cast<char16_t>(LoadU16(view.bytes, position));
        position += 2;
        if (c == 0) break;
        view.key += c;
    }
    // Offsets inside the block are aligned like offsets in the resource, since every block
    // starts on a 32-bit boundary.
    view.value_start = (position + 3) / 4 * 4;
    return view;
}

// The children of a block: from after its value to its end.
std::vector<View> Children(const View& parent, size_t value_bytes) {
    std::vector<View> children;
    size_t at = (parent.value_start + value_bytes + 3) / 4 * 4;
    while (at < parent.bytes.size()) {
        const std::optional<View> child = ReadBlock(parent.bytes, at);
        if (!child) break;
        children.push_back(*child);
        at = (at + child->bytes.size() + 3) / 4 * 4;
    }
    return children;
}

} // namespace

std::string VersionInfo::Value(std::string_view key) const {
    for (const auto& [k, v] : strings)
        if (k == key) return v;
    return {};
}

std::optional<std::array<uint16_t, 4>> ParseVersionNumber(std::string_view text) {
    std::array<uint16_t, 4> number{};
    size_t part = 0;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (;;) {
        if (part == 4 || at == end || *at < '0' || *at > '9') return std::nullopt;
        unsigned value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || value > 0xFFFF) return std::nullopt;
        number[part++] = static_cast<uint16_t>(value);
        at = next;
        if (at == end) return number;
        if (*at++ != '.') return std::nullopt;
    }
}

std::vector<uint8_t> BuildVersionResource(const VersionInfo& info) {
    std::vector<uint8_t> fixed;
    const uint32_t high = uint32_t{info.number[0]} << 16 | info.number[1];
    const uint32_t low = uint32_t{info.number[2]} << 16 | info.number[3];
    for (const uint32_t field : {kFixedInfoSignature, 0x00010000u, high, low, high, low, 0x3Fu, 0u,
                                 kOsWindowsNt, kFileTypeApplication, 0u, 0u, 0u})
        AppendU32(fixed, field);

    Block table{kStringTableKey, kTextValue, {}, 0, {}};
    for (const auto& [key, value] : info.strings)
        table.children.push_back(TextBlock(key, value));
    Block strings{u"StringFileInfo", kTextValue, {}, 0, {table}};
    Block translation{u"Translation", kBinaryValue, {}, 4, {}};
    AppendU32(translation.value, kTranslation);
    Block variables{u"VarFileInfo", kTextValue, {}, 0, {translation}};
    Block root{u"VS_VERSION_INFO", kBinaryValue, fixed, kFixedInfoSize, {strings, variables}};

    std::vector<uint8_t> out;
    Serialize(root, out);
    return out;
}

std::optional<VersionInfo> ReadVersionResource(std::span<const uint8_t> data) {
    const std::optional<View> root = ReadBlock(data, 0);
    if (!root || root->key != u"VS_VERSION_INFO" || root->value_length != kFixedInfoSize ||
        root->value_start + kFixedInfoSize > root->bytes.size() ||
        LoadU32(root->bytes, root->value_start) != kFixedInfoSignature)
        return std::nullopt;
    VersionInfo info;
    const uint32_t high = LoadU32(root->bytes, root->value_start + 8);
    const uint32_t low = LoadU32(root->bytes, root->value_start + 12);
    info.number = {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high),
                   static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low)};
    for (const View& child : Children(*root, kFixedInfoSize)) {
        if (child.key != u"StringFileInfo") continue;
        const std::vector<View> tables = Children(child, 0);
        if (tables.empty()) break;
        for (const View& entry : Children(tables.front(), 0)) {
            // The value's length counts characters, its terminator included.
            std::u16string value;
            for (size_t k = 0; k < entry.value_length; ++k) {
                const size_t at = entry.value_start + 2 * k;
                if (at + 2 > entry.bytes.size()) break;
                const char16_t c = static_cast<char16_t>(LoadU16(entry.bytes, at));
                if (c == 0) break;
                value += c;
            }
            info.strings.emplace_back(Utf16ToUtf8(entry.key), Utf16ToUtf8(value));
        }
        break;
    }
    return info;
}
