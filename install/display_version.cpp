#include "install/display_version.h"

#include <cstring>

// VS_VERSIONINFO is a tree of blocks, every one starting on a 32-bit boundary of the resource:
//   u16 length (of the whole block, children included), u16 value length, u16 type (1: text),
//   the key in UTF-16 with its terminator, padding to 32 bits, the value (text: that many
//   UTF-16 characters; binary: that many bytes), padding, then the children.
// The root is "VS_VERSION_INFO" with the fixed file information as its value; one child is
// "StringFileInfo", whose children are string tables ("040904B0"), whose children are the
// texts ("ProductName" = "Aurora").

namespace {

constexpr uint16_t kTextValue = 1;

struct Block {
    size_t start;
    size_t end; // one past its last byte
    uint16_t value_length;
    uint16_t type;
    size_t key; // offset of the key's first character
    size_t value;
};

uint16_t LoadU16(const uint8_t* data, size_t at) {
    return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
}

size_t Aligned(size_t offset) {
    return (offset + 3) / 4 * 4;
}

// The block at `start`, which must end by `limit`. False when it does not fit or its key is
// not terminated inside it.
bool ReadBlock(const uint8_t* data, size_t start, size_t limit, Block* block) {
    if (start > limit || limit - start < 6) return false;
    const uint16_t length = LoadU16(data, start);
    if (length < 6 || length > limit - start) return false;
    block->start = start;
    block->end = start + length;
    block->value_length = LoadU16(data, start + 2);
    block->type = LoadU16(data, start + 4);
    block->key = start + 6;
    size_t at = block->key;
    for (;;) {
        if (block->end - at < 2) return false;
        const uint16_t c = LoadU16(data, at);
        at += 2;
        if (c == 0) break;
    }
    block->value = Aligned(at);
    return true;
}

bool KeyIs(const uint8_t* data, const Block& block, const char* key) {
    size_t at = block.key;
    for (;; ++key, at += 2) {
        const uint16_t c = LoadU16(data, at);
        if (c != static_cast<uint8_t>(*key)) return false;
        if (c == 0) return true;
    }
}

size_t ValueBytes(const Block& block) {
    return block.type == kTextValue ? size_t{block.value_length} * 2 : block.value_length;
}

// The first child of `parent` named `key` (any name when `key` is null).
bool FindChild(const uint8_t* data, const Block& parent, const char* key, Block* child) {
    size_t at = Aligned(parent.value + ValueBytes(parent));
    while (at < parent.end && ReadBlock(data, at, parent.end, child)) {
        if (key == nullptr || KeyIs(data, *child, key)) return true;
        at = Aligned(child->end);
    }
    return false;
}

// The text value of `block` into `out`, if it is printable ASCII and fits.
bool CopyText(const uint8_t* data, const Block& block, char* out, size_t size) {
    size_t used = 0;
    for (size_t at = block.value; at + 2 <= block.end && used < block.value_length;
         at += 2, ++used) {
        const uint16_t c = LoadU16(data, at);
        if (c == 0) break;
        if (c < 0x20 || c > 0x7E || used + 1 >= size) return false;
        out[used] = static_cast<char>(c);
    }
    out[used] = '\0';
    return used > 0;
}

} // namespace

bool DisplayVersionFromVersionInfo(const uint8_t* data, size_t size,
                                   char (&out)[kDisplayVersionSize]) {
    out[0] = '\0';
    Block root, strings, table, text;
    if (data == nullptr || !ReadBlock(data, 0, size, &root) ||
        !KeyIs(data, root, "VS_VERSION_INFO") ||
        !FindChild(data, root, "StringFileInfo", &strings) ||
        !FindChild(data, strings, nullptr, &table))
        return false;
    char product[sizeof kStubProductName + 1];
    if (FindChild(data, table, "ProductName", &text) &&
        CopyText(data, text, product, sizeof product) &&
        std::strcmp(product, kStubProductName) == 0)
        return false;
    if (!FindChild(data, table, "ProductVersion", &text) ||
        !CopyText(data, text, out, kDisplayVersionSize)) {
        out[0] = '\0';
        return false;
    }
    return true;
}
