// lmvpack encode / decode: the member stream format on its own, for benchmarks and for
// checking the codec against other encoders and decoders.
#include "tools/lmvpack/commands.h"
#include "tools/lmvpack/stream_codec.h"

#include <climits>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("cannot read " + path);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + path);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

struct CodecOptions {
    std::string level = "default";
    std::string input;
    std::string output;
    uint32_t size = 0;
};

} // namespace

void AddCodecCommands(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<CodecOptions>();

    CLI::App* encode = app.add_subcommand("encode", "Compress a file into one member stream");
    encode->add_option("--level", options->level, "fast, default or best")
        ->check(CLI::IsMember({"fast", "default", "best"}));
    encode->add_option("IN", options->input, "file to compress")->required();
    encode->add_option("OUT", options->output, "stream to write")->required();
    encode->callback([options, &exit_status] {
        try {
            const std::vector<uint8_t> input = ReadWholeFile(options->input);
            if (input.size() > UINT32_MAX) throw std::runtime_error("input larger than 4 GiB");
            const std::vector<uint8_t> stream =
                EncodeStream(input, *ParseCompressionLevel(options->level));
            WriteWholeFile(options->output, stream);
            std::cout << stream.size() << '\n';
            exit_status = 0;
        } catch (const std::exception& error) {
            std::cerr << "lmvpack encode: " << error.what() << '\n';
            exit_status = 1;
        }
    });

    CLI::App* decode =
        app.add_subcommand("decode", "Restore a member stream as the installer would");
    decode->add_option("--size", options->size, "unpacked size in bytes")->required();
    decode->add_option("IN", options->input, "stream to restore")->required();
    decode->add_option("OUT", options->output, "file to write")->required();
    decode->callback([options, &exit_status] {
        try {
            if (options->size > INT32_MAX)
                throw std::runtime_error(
                    "the installer restores nothing of a member of 2 GiB or more");
            const std::vector<uint8_t> stream = ReadWholeFile(options->input);
            if (stream.size() > UINT32_MAX) throw std::runtime_error("stream larger than 4 GiB");
            const std::vector<uint8_t> restored = DecodeStream(stream, options->size);
            WriteWholeFile(options->output, restored);
            exit_status = 0;
        } catch (const std::exception& error) {
            std::cerr << "lmvpack decode: " << error.what() << '\n';
            exit_status = 1;
        }
    });
}
