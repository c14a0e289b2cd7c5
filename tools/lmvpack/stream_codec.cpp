// The installer's own decoder run over temporary files, so that what the authoring tool
// verifies, extracts and decodes is exactly what the installer will restore. Temporary
// files rather than memory streams: the tool also builds where the runtime has none.
#include "tools/lmvpack/stream_codec.h"

#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/lzh_decoder.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace {

// A scratch file, removed when closed. tmpfile() first; where it fails (the Windows runtime
// creates it in the root of the current drive, which ordinary users may not write to), a
// named file in the temporary folder.
class ScratchFile {
  public:
    ScratchFile() : file_(std::tmpfile()) {
        if (file_ != nullptr) return;
        static unsigned counter = 0;
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
        if (error) throw std::runtime_error("cannot find the temporary folder");
        for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
            path_ = folder / ("lmvpack-" + std::to_string(std::random_device{}()) + "-" +
                              std::to_string(++counter) + ".tmp");
            if (!std::filesystem::exists(path_)) file_ = std::fopen(path_.string().c_str(), "w+b");
        }
        if (file_ == nullptr) throw std::runtime_error("cannot create a temporary file");
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() {
        std::fclose(file_);
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }
    FILE* get() const { return file_; }

  private:
    FILE* file_;
    std::filesystem::path path_;
};

bool NeverStop() {
    return false;
}

// The installer's sink ends the process when a write fails (with the status of a normal
// end). In the tool that would turn a full temporary disk into a silent success, so the
// space for the output is written once beforehand, where a failure can still be reported;
// the decoder then only overwrites it.
void ClaimSpace(FILE* file, uint32_t unpacked_size) {
    if (unpacked_size > INT32_MAX) return; // the decoder restores nothing of such a size
    static const uint8_t kZeros[65536] = {};
    for (uint32_t left = unpacked_size; left > 0;) {
        const size_t count = left < sizeof kZeros ? left : sizeof kZeros;
        if (std::fwrite(kZeros, 1, count, file) != count)
            throw std::runtime_error("no room for a temporary file");
        left -= static_cast<uint32_t>(count);
    }
    if (std::fflush(file) != 0) throw std::runtime_error("no room for a temporary file");
    std::rewind(file);
}

} // namespace

std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stream, uint32_t unpacked_size) {
    if (stream.size() > UINT32_MAX) throw std::runtime_error("stream larger than 4 GiB");
    ScratchFile source;
    if (!stream.empty() &&
        std::fwrite(stream.data(), 1, stream.size(), source.get()) != stream.size())
        throw std::runtime_error("cannot write a temporary file");
    std::rewind(source.get());
    ScratchFile destination;
    ClaimSpace(destination.get(), unpacked_size);

    ByteSource(nullptr, 0);
    WritePtr(nullptr, 0, 0);
    LzhDecoder(source.get(), destination.get(), unpacked_size, static_cast<uint32_t>(stream.size()),
               NeverStop);

    if (std::fflush(destination.get()) != 0)
        throw std::runtime_error("cannot write a temporary file");
    // The decoder wrote from the start of the claimed space: where it stopped is its output.
    const long length = std::ftell(destination.get());
    if (length < 0) throw std::runtime_error("cannot read a temporary file");
    std::vector<uint8_t> restored(static_cast<size_t>(length));
    std::rewind(destination.get());
    if (!restored.empty() &&
        std::fread(restored.data(), 1, restored.size(), destination.get()) != restored.size())
        throw std::runtime_error("cannot read a temporary file");
    return restored;
}
