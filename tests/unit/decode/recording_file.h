// Test helpers for the decoder's two file ends.
//
// RecordingFile: a write-only FILE* over memory that records the size of every write, for
// checking the sink's exact block pattern. The stream is unbuffered, so each fwrite reaches
// the recorder as one call of the same size.
//
// TemporaryFileWith: a real FILE* holding given bytes, positioned at the start; reads are
// observed through the file position (ftell), which moves by exactly what each read took.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sys/types.h>
#include <vector>

class RecordingFile {
  public:
    RecordingFile() = default;
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;
    ~RecordingFile() { Close(); }

    FILE* Open() {
        cookie_io_functions_t functions{};
        functions.write = &RecordingFile::Write;
        file_ = fopencookie(this, "w", functions);
        if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
        return file_;
    }

    void Close() {
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }

    const std::vector<uint8_t>& contents() const { return contents_; }
    const std::vector<size_t>& writes() const { return writes_; }

  private:
    static ssize_t Write(void* cookie, const char* buffer, size_t size) {
        auto* self = static_cast<RecordingFile*>(cookie);
        self->writes_.push_back(size);
        self->contents_.insert(self->contents_.end(), buffer, buffer + size);
        return static_cast<ssize_t>(size);
    }

    std::vector<uint8_t> contents_;
    std::vector<size_t> writes_;
    FILE* file_ = nullptr;
};

inline FILE* TemporaryFileWith(const std::vector<uint8_t>& bytes) {
    FILE* file = std::tmpfile();
    if (file == nullptr) return nullptr;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}
