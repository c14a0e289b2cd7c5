// Turns a loaded manifest and a stub into an installer file: compresses the members that
// should be, several at once, checks every coded stream by decoding it again, and writes the
// installer. Members pass through in pieces, so memory stays bounded whatever their size.
#pragma once

#include "tools/lmvpack/codec/stream_codec.h"
#include "tools/lmvpack/manifest/manifest.h"

#include <cstdint>
#include <filesystem>
#include <functional>
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

// How far the build has come: `done` of `total` units, never going back, `total` the same in
// every call, and a last call with `done` equal to `total`; `label` says what is being worked
// on. Called on the building thread only, about ten times a second while members compress
// and for every piece written.
using ProgressReport = std::function<void(uint64_t done, uint64_t total, const std::string& label)>;

// Writes the installer to `output` (atomically: on failure nothing is there that was not
// there before). Throws BuildError.
BuiltInstaller BuildInstaller(const Manifest& manifest, const std::filesystem::path& stub_path,
                              const std::filesystem::path& output, const BuildSettings& settings,
                              const ProgressReport& progress);
