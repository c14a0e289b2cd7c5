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

// The whole file, or BuildError naming it.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);
