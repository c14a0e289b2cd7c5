// Turns a loaded manifest and a stub into an installer image: reads the member files,
// compresses those that should be, checks every coded stream by decoding it again, and
// places the package into the stub.
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
    std::vector<uint8_t> image;
    std::vector<BuiltMember> members;
};

// Throws BuildError.
BuiltInstaller BuildInstaller(const Manifest& manifest, const std::filesystem::path& stub_path,
                              CompressionLevel level, ProgressBar& progress);
