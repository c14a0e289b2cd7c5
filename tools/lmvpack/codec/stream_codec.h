// Coding of one member stream for the authoring tool: the encoder, and the installer's own
// decoder (verify, extract, decode). Both work on streams, a piece at a time, so that a member
// of any size needs the same few megabytes: the format looks back at most 4096 bytes, and
// nothing here looks back further than that or holds more than one block of the optimal parse.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum class CompressionLevel { Fast, Default, Best };

// "fast", "default", "best".
std::optional<CompressionLevel> ParseCompressionLevel(std::string_view name);

// Fills up to `size` bytes at `into` and returns how many it filled; 0 only at the end of the
// input. May throw to abandon the work; the exception reaches the caller.
using ByteReader = std::function<size_t(uint8_t* into, size_t size)>;
// Takes the next piece of output. May throw to abandon the work.
using ByteWriter = std::function<void(std::span<const uint8_t> bytes)>;

// Told how far an encoding has come: the first `done` bytes of the input are coded. Called on
// the thread that encodes, every 64 KiB of input or so and once with the whole size at the
// end, so that a long member can show its progress.
using EncodeProgress = std::function<void(uint64_t done)>;

// Codes everything `read` delivers and hands the coded stream to `write`; decoding it to as
// many bytes as were read restores them exactly. The stream depends only on the bytes read,
// never on how they were cut into pieces. Returns the coded size. Throws std::length_error once
// the input reaches 2 GiB, which the installer could not restore.
uint64_t EncodeStream(const ByteReader& read, const ByteWriter& write, CompressionLevel level,
                      const EncodeProgress& progress = {});

// Restores a member as the installer would: its decoder reads `stored_size` bytes from the
// current position of `stream` (zeros past the file's end) and the `unpacked_size` bytes it
// restores go to `write`, 16384 bytes at a time. Returns how many bytes went to `write`. Each
// call has a decoder of its own, so calls from several threads run at once. An exception from
// `write` stops the decoder within 102400 bytes of output and reaches the caller.
uint64_t DecodeStream(FILE* stream, uint32_t stored_size, uint32_t unpacked_size,
                      const ByteWriter& write);
// The same with the stored bytes supplied by `read`, of which at most `stored_size` are asked
// for; once it has answered 0 it is not asked again and the rest reads as zeros. An exception
// from `read` is handled as one from `write`.
uint64_t DecodeStream(const ByteReader& read, uint32_t stored_size, uint32_t unpacked_size,
                      const ByteWriter& write);

// Whole streams in memory, for small data and tests.
std::vector<uint8_t> EncodeStream(std::span<const uint8_t> input, CompressionLevel level,
                                  const EncodeProgress& progress = {});
std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stream, uint32_t unpacked_size);

// Hands out `bytes` a piece at a time, as a ByteReader over memory does.
ByteReader ReadFromMemory(std::span<const uint8_t> bytes);
