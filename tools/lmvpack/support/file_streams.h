// Files read and written a piece at a time: the runtime's streams opened by any path (also
// outside the ANSI code page on Windows), positioned beyond 2 GiB, and scratch files for coded
// streams on their way into an installer.
#pragma once

#include "tools/lmvpack/support/temporary_files.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

// fopen() for a path of any characters, "rb" or "wb"; nullptr on failure, with errno set. On
// Windows the file stays deletable while it is open, as on Linux, so that Ctrl-C can remove
// a temporary file that a thread is writing (temporary_files.h).
FILE* OpenStream(const std::filesystem::path& path, const char* mode);

#ifdef _WIN32
// A descriptor for a file opened, or created (`disposition`), with every kind of sharing
// Windows has; -1 with errno set on failure.
int OpenSharedFile(const std::filesystem::path& path, bool write, unsigned long disposition);
#endif

// fseek() to an absolute position that may lie beyond what `long` holds on 32-bit Windows.
bool SeekStream(FILE* stream, uint64_t position);

// Whether both paths lead to one file: the same device and file number, however the paths are
// spelt, and through symbolic and hard links alike. False when either does not exist.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Closes the stream when it goes away.
class StreamCloser {
  public:
    explicit StreamCloser(FILE* stream) : stream_(stream) {}
    ~StreamCloser() {
        if (stream_ != nullptr) std::fclose(stream_);
    }
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;
    FILE* get() const { return stream_; }

  private:
    FILE* stream_;
};

// A named, empty file of our own in the temporary folder, removed when the object goes away
// and by a signal meanwhile (temporary_files.h). Named rather than anonymous: a build keeps
// one per compressed member, and an anonymous file would hold a descriptor open for each
// until the installer is written.
class ScratchFile {
  public:
    // Throws BuildError when no such file can be created.
    ScratchFile();
    const std::filesystem::path& path() const { return file_.path(); }

  private:
    TemporaryPath file_;
};
