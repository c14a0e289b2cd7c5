// The making of the installer's publisher block, which only the tests need: they make the
// block afresh and hold it against install/publisher_block.h. Scrambles a publisher text into
// the 69-byte block that RestorePublisherText (install/publisher_text.h) turns back into it.
#pragma once

#include "install/publisher_text.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using PublisherBlockBytes = std::array<uint8_t, kPublisherBlockSize>;

// The block for `text`: the text reversed, each byte's letter case swapped and 31 taken off,
// then the end marker and zero padding. None when the text cannot be carried: longer than 68
// bytes, or holding a byte that would scramble into the end marker or a zero byte (bytes 0, 30
// and 31).
std::optional<PublisherBlockBytes> ScramblePublisherText(std::string_view text);

// The C++ header that carries the block for `text` in the installer (install/publisher_block.h).
std::string RenderPublisherBlockHeader(std::string_view text, const PublisherBlockBytes& block);
