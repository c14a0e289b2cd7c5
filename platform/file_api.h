// The handful of kernel calls that the portable installer code makes: module file name,
// the handle-based file calls and global memory. In the installer each is the Win32 call of
// the same name; on Linux it is a small POSIX equivalent, so that package reading, extraction
// and decoding run unchanged under the unit tests, the fuzzers and the authoring tool.
//
// Results follow the Win32 calls: a file handle is a small integer and -1 is failure
// (HFILE_ERROR); reads and writes return the byte count or kIoFailed; seeks return the new
// position or -1. The hosts' test controls are in platform/file_api_test_hooks_host.h.
#pragma once

#include <cstdint>

using FileHandle = int;
constexpr FileHandle kNoFile = -1;
constexpr uint32_t kIoFailed = 0xFFFFFFFFu;

enum SeekOrigin : int { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

// GetModuleFileNameA(NULL, buffer, size): characters copied, 0 on failure. A name that does
// not fit is cut and reported as a full buffer, as Windows does.
uint32_t PlatModuleFileName(char* buffer, uint32_t size);

FileHandle PlatOpenRead(const char* path);   // _lopen(OF_READ | OF_SHARE_DENY_NONE)
FileHandle PlatCreateFile(const char* path); // _lcreat(path, 0)
uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count);        // _lread
uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count); // _lwrite
int32_t PlatSeek(FileHandle file, int32_t offset, SeekOrigin origin);    // _llseek
void PlatClose(FileHandle file);                                         // _lclose

// GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT) with GlobalLock/GlobalUnlock/GlobalFree.
using MemoryHandle = void*;
MemoryHandle PlatGlobalAlloc(uint32_t size);
void* PlatGlobalLock(MemoryHandle memory);
void PlatGlobalUnlock(MemoryHandle memory);
void PlatGlobalFree(MemoryHandle memory);
