// Writes the seed corpus of the fuzz targets: the good installer of the damaged-installer
// tests and a few of its damaged forms (tests/fuzz/corpus/installers), coded streams with
// their sizes (corpus/streams) and plain inputs for the codec round trip (corpus/plain).
// Run by hand after the package layout or the encoder changes:
//   build/fuzz/fuzzers/make_corpus tests/fuzz/corpus
#include "input_bounds.h"
#include "robustness/damaged_installers.h"
#include "support/test_bytes.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

namespace {

// The decoder target's -max_len in scripts/fuzz.sh.
constexpr size_t kMaxStreamInput = 8192;

void Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// u32 unpacked size, u8 flags (0: run to the end), then the stream: the decoder target's
// input format.
std::vector<uint8_t> StreamInput(uint32_t unpacked, std::vector<uint8_t> stream,
                                 uint8_t flags = 0) {
    std::vector<uint8_t> input = {
        static_cast<uint8_t>(unpacked), static_cast<uint8_t>(unpacked >> 8),
        static_cast<uint8_t>(unpacked >> 16), static_cast<uint8_t>(unpacked >> 24), flags};
    input.insert(input.end(), stream.begin(), stream.end());
    return input;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <corpus folder>\n");
        return 2;
    }
    const std::filesystem::path corpus = argv[1];
    const GoodInstaller good = BuildGoodInstaller();

    Write(corpus / "installers" / "good.exe", good.bytes);
    const std::set<std::string> chosen = {
        "agreement-length-65535",     "screen-saver-name-without-nul",  "table-ends-at-end-of-file",
        "member0-offset-into-header", "member1-offset-into-table",      "unpacked-size-ffffffff",
        "member3-random-stream",      "first-member-stored-size-4-gib", "package-start-past-end",
        "name-suffix-without-nul"};
    for (const DamagedInstaller& damaged : MakeDamagedInstallers(good))
        if (chosen.count(damaged.name))
            Write(corpus / "installers" / (damaged.name + ".exe"), damaged.bytes);

    // The three streams whose meaning the format fixes, and the good installer's own.
    Write(corpus / "streams" / "abc", StreamInput(3, {0x29, 0x2A, 0x2B}));
    Write(corpus / "streams" / "abc-three-times",
          StreamInput(9, {0x29, 0x2A, 0x2B, 0xCB, 0x01, 0x00}));
    Write(corpus / "streams" / "ten-spaces", StreamInput(10, {0xCF, 0x00, 0x00}));
    Write(corpus / "streams" / "ten-spaces-stopped", StreamInput(10, {0xCF, 0x00, 0x00}, 0x01));
    for (size_t i : {1, 3}) {
        const GoodMember& member = good.members[i];
        const std::vector<uint8_t> stream(good.bytes.begin() + member.data_offset,
                                          good.bytes.begin() + member.data_offset +
                                              member.stored_size);
        Write(corpus / "streams" / ("member" + std::to_string(i)),
              StreamInput(member.unpacked_size, stream));
        Write(corpus / "streams" / ("member" + std::to_string(i) + "-cut"),
              StreamInput(member.unpacked_size,
                          {stream.begin(), stream.begin() + stream.size() / 2}, 0x10));
    }
    // Zero bits past a one-byte stream, as far as such a stream may ask for.
    Write(corpus / "streams" / "zeros-past-the-stream",
          StreamInput(fuzz::kUnpackedPerStoredByte + fuzz::kUnpackedPastStream, {0x00}));
    // A literal stream whose symbols are mostly one byte, so that it passes the model's first
    // rebuild (the 32485th symbol) in a few KB.
    std::mt19937 random(7);
    std::vector<uint8_t> skewed(33000);
    for (uint8_t& byte : skewed)
        byte = random() % 16 != 0 ? 'e' : static_cast<uint8_t>('a' + random() % 26);
    const std::vector<uint8_t> stream = LiteralStream(skewed);
    if (fuzz::BoundUnpackedSize(static_cast<uint32_t>(skewed.size()), stream.size()) !=
            skewed.size() ||
        stream.size() + 5 > kMaxStreamInput) {
        std::fprintf(stderr, "make_corpus: the rebuild stream (%zu bytes) is out of bounds\n",
                     stream.size());
        return 1;
    }
    Write(corpus / "streams" / "past-the-first-rebuild",
          StreamInput(static_cast<uint32_t>(skewed.size()), stream));

    // Level byte, then the bytes to encode.
    for (size_t i : {0, 1, 3}) {
        std::vector<uint8_t> input = {static_cast<uint8_t>(i % 3)};
        const std::vector<uint8_t>& content = good.members[i].content;
        input.insert(input.end(), content.begin(),
                     content.begin() + std::min<size_t>(content.size(), 4096));
        Write(corpus / "plain" / ("member" + std::to_string(i)), input);
    }
    Write(corpus / "plain" / "spaces", std::vector<uint8_t>(200, ' '));
    return 0;
}
