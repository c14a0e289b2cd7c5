// The installer's own decoder run over temporary files, so that what the authoring tool
// verifies, extracts and decodes is exactly what the installer will restore. Temporary
// files rather than memory streams: the tool also builds where the runtime has none.
#include "tools/lmvpack/stream_codec.h"

#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/lzh_decoder.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File TemporaryFile() {
    File file(std::tmpfile());
    if (!file) throw std::runtime_error("cannot create a temporary file");
    return file;
}

bool NeverStop() {
    return false;
}

} // namespace

std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stream, uint32_t unpacked_size) {
    File source = TemporaryFile();
    if (!stream.empty() &&
        std::fwrite(stream.data(), 1, stream.size(), source.get()) != stream.size())
        throw std::runtime_error("cannot write a temporary file");
    std::rewind(source.get());
    File destination = TemporaryFile();

    ByteSource(nullptr, 0);
    WritePtr(nullptr, 0, 0);
    LzhDecoder(source.get(), destination.get(), unpacked_size, static_cast<uint32_t>(stream.size()),
               NeverStop);

    if (std::fflush(destination.get()) != 0)
        throw std::runtime_error("cannot write a temporary file");
    const long length = std::ftell(destination.get());
    if (length < 0) throw std::runtime_error("cannot read a temporary file");
    std::vector<uint8_t> restored(static_cast<size_t>(length));
    std::rewind(destination.get());
    if (!restored.empty() &&
        std::fread(restored.data(), 1, restored.size(), destination.get()) != restored.size())
        throw std::runtime_error("cannot read a temporary file");
    return restored;
}
