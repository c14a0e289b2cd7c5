// Turns a loaded manifest and a stub into an installer file: compresses the members that
// should be, several at once, checks every coded stream by decoding it again, and writes the
// installer. Members pass through in pieces, so memory stays bounded whatever their size.
#pragma once

#include "tools/lmvpack/manifest.h"
#include "tools/lmvpack/progress_bar.h"
#include "tools/lmvpack/stream_codec.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct BuiltMember {
    std::string key; // "screensaver", "media #2", ...
    std::filesystem::path file;
    uint64_t original_size = 0;
    uint64_t stored_size = 0; // bytes in the installer
    bool compressed = false;
};

struct BuiltInstaller {
    uint64_t size = 0; // of the installer file
    std::vector<BuiltMember> members;
};

struct BuildSettings {
    CompressionLevel level = CompressionLevel::Default;
    // Members compressed at once, each on a thread of its own. The installer is the same
    // byte for byte whatever the number.
    unsigned jobs = 1;
};

// Writes the installer to `output` (atomically: on failure nothing is there that was not
// there before). Throws BuildError.
BuiltInstaller BuildInstaller(const Manifest& manifest, const std::filesystem::path& stub_path,
                              const std::filesystem::path& output, const BuildSettings& settings,
                              ProgressBar& progress);
