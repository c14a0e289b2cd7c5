// In-memory coding of one member stream, for the authoring tool: the encoder, and the
// installer's own decoder run over memory (verify, extract, decode).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum class CompressionLevel { Fast, Default, Best };

// "fast", "default", "best".
std::optional<CompressionLevel> ParseCompressionLevel(std::string_view name);

// Told how far an encoding has come: the first `done` bytes of the input are coded. Called on
// the thread that encodes, every 64 KiB of input or so and once with the whole size at the
// end, so that a long member can show its progress.
using EncodeProgress = std::function<void(uint64_t done)>;

// The coded stream of `input`; decoding it to input.size() bytes restores `input` exactly.
std::vector<uint8_t> EncodeStream(std::span<const uint8_t> input, CompressionLevel level,
                                  const EncodeProgress& progress = {});

// Restores exactly `unpacked_size` bytes from `stream`, as the installer would.
std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stream, uint32_t unpacked_size);
