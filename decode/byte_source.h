// ByteSource: the buffered input end of the decoder. It hands out the stored bytes of one
// compressed member, one byte per call, reading them from the package in blocks of 16384
// bytes.
//
// Contract: the caller says with every request how many of the member's stored bytes are
// still to come, the requested one included (`remaining`, never 0 for a real request). A
// block asks the file for min(remaining, 16384) bytes, so a member is read in full blocks
// and one shorter last block, and nothing past its last stored byte is ever read. When the
// file ends before the member does (a truncated package), the missing bytes are delivered
// as zeros: never bytes of an earlier block.
//
// ByteSource(nullptr, 0) is the reset: it forgets the current block, so the next request
// reads afresh. It must be called before every member.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int kSourceBlockSize = 16384;

// The next stored byte (0 to 255); 0 for the reset.
int ByteSource(FILE* package, uint32_t remaining);
