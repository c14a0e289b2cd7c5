// The handful of kernel calls that the portable installer code makes: the program's own file,
// the handle-based file calls and global memory. In the installer each is the Win32 call of
// the same name (file_api_win32.cpp). The hosts of the portable code, the Linux build and
// lmvpack.exe on Windows, have the C runtime's descriptor calls instead (file_api_host.cpp),
// so that package reading, extraction and decoding run unchanged under the unit tests, the
// fuzzers and lmvpack on both systems; the own file and global memory come from the program
// that hosts the code: lmvpack's have no own file (win32_stand_ins_host.cpp), the tests' let a
// test name one (tests/unit/support/file_api_test_hooks.h).
//
// Results follow the Win32 calls: a file handle is a small integer and -1 is failure
// (HFILE_ERROR); reads and writes return the byte count or kIoFailed; seeks return the new
// position or -1.
#pragma once

#include <cstdint>
#include <cstdio>

using FileHandle = int;
constexpr FileHandle kNoFile = -1;
constexpr uint32_t kIoFailed = 0xFFFFFFFFu;

enum SeekOrigin : int { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

// The running program's own file. A running program can be renamed, and another file put at its
// name, after the user has approved it to run elevated: the installer must read its package
// from the file that was started. So the file is opened once, by its name, with sharing that
// refuses writers and deleters (no one can change it, rename it or remove it while it is open),
// kept open for the life of the process, and every pass reads it through a new handle on that
// same open file (which shares its position), never by name again. The installer opens it
// first thing; the first call does the opening, and a failed opening is never retried. False
// when it could not be opened. (lmvpack holds none; the tests' stand-ins open the file that a
// test names, at the first call after it names it.)
bool PlatHoldOwnFile();
// The buffer the program's own name is read into (GetModuleFileNameA): a longer name comes cut
// short, names some other file, and is never opened.
constexpr uint32_t kModuleNameSize = 256;
// A new handle on the held file, closed with PlatClose; kNoFile when the file is not held.
FileHandle PlatOpenOwnFile();

FileHandle PlatOpenRead(const char* path);   // _lopen(OF_READ | OF_SHARE_DENY_NONE)
FileHandle PlatCreateFile(const char* path); // _lcreat(path, 0)
uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count);        // _lread
uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count); // _lwrite
int32_t PlatSeek(FileHandle file, int32_t offset, SeekOrigin origin);    // _llseek
void PlatClose(FileHandle file);                                         // _lclose

// A read that must deliver every byte asked for: anything short means a cut or damaged file.
inline bool PlatReadExactly(FileHandle file, void* buffer, uint32_t count) {
    return PlatRead(file, buffer, count) == count;
}

// GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT) with GlobalLock/GlobalUnlock/GlobalFree.
using MemoryHandle = void*;
MemoryHandle PlatGlobalAlloc(uint32_t size);
void* PlatGlobalLock(MemoryHandle memory);
void PlatGlobalUnlock(MemoryHandle memory);
void PlatGlobalFree(MemoryHandle memory);
