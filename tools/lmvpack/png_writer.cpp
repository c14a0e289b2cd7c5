#include "tools/lmvpack/png_writer.h"

#include <array>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t Crc(std::span<const uint8_t> bytes) {
    uint32_t c = 0xFFFFFFFFu;
    for (const uint8_t b : bytes)
        c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t Adler32(std::span<const uint8_t> bytes) {
    uint32_t a = 1, b = 0;
    for (const uint8_t byte : bytes) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& png, std::string_view type, std::span<const uint8_t> data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    PutBigEndian(png, Crc(std::span(png).subspan(start)));
}

// Deflate's bit order: values from the lowest bit, Huffman codes from their highest.
class Bits {
  public:
    void Put(uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            PutBit((value >> i) & 1);
    }
    void PutCode(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i)
            PutBit((code >> i) & 1);
    }
    std::vector<uint8_t> Take() {
        if (used_ != 0) bytes_.push_back(current_);
        return std::move(bytes_);
    }

  private:
    void PutBit(uint32_t bit) {
        current_ = static_cast<uint8_t>(current_ | bit << used_);
        if (++used_ == 8) {
            bytes_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    std::vector<uint8_t> bytes_;
    uint8_t current_ = 0;
    int used_ = 0;
};

// The fixed Huffman code of a literal/length symbol (RFC 1951, 3.2.6).
void PutSymbol(Bits& bits, int symbol) {
    if (symbol < 144)
        bits.PutCode(0x30 + symbol, 8);
    else if (symbol < 256)
        bits.PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        bits.PutCode(symbol - 256, 7);
    else
        bits.PutCode(0xC0 + symbol - 280, 8);
}

constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// A copy of `length` bytes (3 to 258) from one byte back.
void PutRun(Bits& bits, int length) {
    int code = 28;
    while (kLengthBase[static_cast<size_t>(code)] > length)
        --code;
    PutSymbol(bits, 257 + code);
    bits.Put(static_cast<uint32_t>(length - kLengthBase[static_cast<size_t>(code)]),
             kLengthExtra[static_cast<size_t>(code)]);
    bits.PutCode(0, 5); // distance code 0: one byte back
}

// One final block with the fixed codes: literals, and runs of the previous byte.
std::vector<uint8_t> Deflate(std::span<const uint8_t> data) {
    Bits bits;
    bits.Put(1, 1); // final block
    bits.Put(1, 2); // fixed Huffman codes
    size_t at = 0;
    while (at < data.size()) {
        size_t run = 0;
        if (at > 0)
            while (at + run < data.size() && run < 258 && data[at + run] == data[at - 1])
                ++run;
        if (run >= 3) {
            PutRun(bits, static_cast<int>(run));
            at += run;
        } else {
            PutSymbol(bits, data[at]);
            ++at;
        }
    }
    PutSymbol(bits, 256);
    return bits.Take();
}

} // namespace

std::vector<uint8_t> EncodePng(int width, int height, std::span<const uint8_t> rgb) {
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
        throw std::invalid_argument("EncodePng: the pixels do not match the size");
    const size_t stride = static_cast<size_t>(width) * 3;
    // Filter 1 ("Sub") on every row: a band of one colour becomes a run of zeros.
    std::vector<uint8_t> rows;
    rows.reserve((stride + 1) * static_cast<size_t>(height));
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
        const uint8_t* row = rgb.data() + y * stride;
        rows.push_back(1);
        for (size_t x = 0; x < stride; ++x)
            rows.push_back(static_cast<uint8_t>(row[x] - (x >= 3 ? row[x - 3] : 0)));
    }

    std::vector<uint8_t> compressed = {0x78, 0x01}; // deflate, 32 KiB window, no dictionary
    const std::vector<uint8_t> deflated = Deflate(rows);
    compressed.insert(compressed.end(), deflated.begin(), deflated.end());
    PutBigEndian(compressed, Adler32(rows));

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, filters, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", compressed);
    PutChunk(png, "IEND", {});
    return png;
}
