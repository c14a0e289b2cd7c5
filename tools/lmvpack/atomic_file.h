// Writes output files so that a failure or an interruption never leaves a half-written file
// under the final name: the bytes go to a temporary file beside it, which is renamed over the
// final name only once it is complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

// Throws BuildError; on failure the temporary file is removed and `path` is untouched.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         bool executable);

// Makes sure that a file can be written at `path` before any long work begins: `path` is not
// a folder, and its folder exists (created when missing, with its parents) and takes new
// files. Throws BuildError saying which of these fails.
void PrepareOutputPath(const std::filesystem::path& path);

// The whole file, or BuildError naming it.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);
