// lmvpack encode / decode: the member stream format on its own, for benchmarks and for
// checking the codec against other encoders and decoders.
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/codec/stream_codec.h"
#include "tools/lmvpack/support/file_streams.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// A plain output file written a piece at a time; these commands are for benchmarks and
// checks, so a failure may leave it partly written (and says so).
class OutputFile {
  public:
    explicit OutputFile(const std::string& path)
        : path_(path), stream_(OpenStream(std::filesystem::path(path), "wb")) {
        if (stream_.get() == nullptr) throw std::runtime_error("cannot create " + path);
    }
    void Write(std::span<const uint8_t> bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stream_.get()) != bytes.size())
            throw std::runtime_error("cannot write " + path_);
    }
    void Close() {
        if (std::fflush(stream_.get()) != 0) throw std::runtime_error("cannot write " + path_);
    }

  private:
    std::string path_;
    StreamCloser stream_;
};

FILE* OpenInput(const std::string& path) {
    FILE* stream = OpenStream(std::filesystem::path(path), "rb");
    if (stream == nullptr) throw std::runtime_error("cannot open " + path);
    return stream;
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
    encode->footer("Example:\n  lmvpack encode --level best sky.bmp sky.lzh\n"
                   "Prints the stream's size in bytes. lmvpack decode --size with the file's own "
                   "size restores it.");
    encode->callback([options, &exit_status] {
        try {
            const StreamCloser input(OpenInput(options->input));
            OutputFile output(options->output);
            const uint64_t size = EncodeStream(
                [&](uint8_t* into, size_t room) {
                    const size_t got = std::fread(into, 1, room, input.get());
                    if (got < room && std::ferror(input.get()))
                        throw std::runtime_error("cannot read " + options->input);
                    return got;
                },
                [&](std::span<const uint8_t> piece) { output.Write(piece); },
                *ParseCompressionLevel(options->level));
            output.Close();
            std::cout << size << '\n';
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
    decode->footer("Example:\n  lmvpack decode --size 1843254 sky.lzh sky.bmp\n"
                   "--size is the restored file's size, as an installer's member table gives it "
                   "(lmvpack list shows it as \"unpacked\").");
    decode->callback([options, &exit_status] {
        try {
            if (options->size > INT32_MAX)
                throw std::runtime_error(
                    "the installer restores nothing of a member of 2 GiB or more");
            const StreamCloser input(OpenInput(options->input));
            std::error_code error;
            const uintmax_t stored =
                std::filesystem::file_size(std::filesystem::path(options->input), error);
            if (error || stored > UINT32_MAX)
                throw std::runtime_error(options->input + ": not a stream of at most 4 GiB");
            OutputFile output(options->output);
            DecodeStream(input.get(), static_cast<uint32_t>(stored), options->size,
                         [&](std::span<const uint8_t> piece) { output.Write(piece); });
            output.Close();
            exit_status = 0;
        } catch (const std::exception& error) {
            std::cerr << "lmvpack decode: " << error.what() << '\n';
            exit_status = 1;
        }
    });
}
