// ByteSink: the buffered output end of the decoder. WritePtr takes the restored bytes of one
// compressed member one at a time and writes them to the destination in blocks of 16384.
//
// Contract: `total` is the member's unpacked size, the same with every byte. Every write but
// the last is exactly 16384 bytes, and the last one happens on the very byte that completes
// `total`, so no final flush call exists or is needed. The destination never receives more
// than `total` bytes: bytes handed in after the member is complete (the tail of a last match
// that runs past the end) are dropped. A write that the file does not accept in full ends the
// process (FailWrite); the last block is also flushed out of the stream's own buffer at once,
// so that a full disk cannot pass unnoticed until the file is closed. Bytes still buffered when the
// decoder stops early are never written, so a cut-short member leaves a whole number of 16384-byte
// blocks.
//
// WritePtr(nullptr, 0, 0) is the reset; it must be called before every member.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int kSinkBlockSize = 16384;

void WritePtr(FILE* destination, int byte, uint32_t total);
