// In-memory coding of one member stream, for the authoring tool: the encoder, and the
// installer's own decoder run over memory (verify, extract, decode).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum class CompressionLevel { Fast, Default, Best };

// "fast", "default", "best".
std::optional<CompressionLevel> ParseCompressionLevel(std::string_view name);

// The coded stream of `input`; decoding it to input.size() bytes restores `input` exactly.
std::vector<uint8_t> EncodeStream(std::span<const uint8_t> input, CompressionLevel level);

// Restores exactly `unpacked_size` bytes from `stream`, as the installer would.
std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stream, uint32_t unpacked_size);
