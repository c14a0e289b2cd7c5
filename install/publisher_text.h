// The "Publisher" value of the Uninstall entry. The installer carries its publisher text
// scrambled in a small block, so that the name does not stand in the executable as plain text;
// RestorePublisherText turns the block back into the text.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kPublisherBlockSize = 69;
constexpr size_t kPublisherTextSize = 256;
constexpr uint8_t kPublisherBlockEnd = 0xFF;

// ASCII capitals to small letters and small letters to capitals; every other byte as it is.
// Its own inverse, so the authoring side scrambles with it too.
uint8_t SwapLetterCase(uint8_t byte);

// The block holds the scrambled text, then the end marker 0xFF, which always comes before any
// zero byte. Restoring, over a 256-byte copy of the block padded with zeros: the marker ends
// the text; every byte gets 31 added (modulo 256) and then, when it is an ASCII letter, its
// case swapped; a byte that becomes zero ends the text there; finally the text is reversed.
void RestorePublisherText(const uint8_t (&block)[kPublisherBlockSize],
                          char (&text)[kPublisherTextSize]);
