// Writes output files so that a failure or an interruption never leaves a half-written file
// under the final name: the bytes go to a temporary file beside it, which is renamed over the
// final name only once it is complete.
#pragma once

#include "tools/lmvpack/support/temporary_files.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// One output file, written a piece at a time. Every failure throws BuildError naming the
// file; until Commit() succeeds the final name is untouched, and the temporary file is removed
// when the object goes away uncommitted, or by a signal meanwhile (temporary_files.h).
class AtomicFile {
  public:
    AtomicFile(const std::filesystem::path& path, bool executable);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void Write(std::span<const uint8_t> bytes);
    // Puts `bytes` over what was written at `offset`; the next Write still appends.
    void Overwrite(uint64_t offset, std::span<const uint8_t> bytes);
    // Puts the complete file in place under its final name.
    void Commit();
    uint64_t size() const { return size_; }

  private:
    [[noreturn]] void Fail(const std::string& why);

    std::filesystem::path path_;
    TemporaryPath temporary_;
    int file_ = -1;
    bool executable_;
    uint64_t size_ = 0;
};

// The whole file at once. Throws BuildError; on failure `path` is untouched.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         bool executable);

// Makes sure that a file can be written at `path` before any long work begins: `path` is not
// a folder, and its folder exists (created when missing, with its parents) and takes new
// files. Throws BuildError saying which of these fails.
void PrepareOutputPath(const std::filesystem::path& path);

// The whole file, or BuildError naming it.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);
