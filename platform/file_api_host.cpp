// The kernel layer for the hosts of the installer's portable code, the Linux build and
// lmvpack.exe: the C runtime's descriptor calls, with the results of their Win32 models. The
// installer's own layer is platform/file_api_win32.cpp; the own file and global memory come
// from the program that hosts the code (platform/file_api.h).
#include "platform/file_api.h"

#include <climits>
#include <cstdio>
#include <fcntl.h>

#ifdef _WIN32
#include <cstring>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// The extended-length ("\\?\") wide form of an ANSI path, or "" when it has none. The
// wide calls take it whatever its length; the characters keep their ANSI reading.
std::wstring ExtendedLengthPath(const char* path) {
    const int count = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (count <= 0) return {};
    std::wstring wide(static_cast<size_t>(count), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), count) != count) return {};
    const DWORD full_count = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (full_count == 0) return {};
    std::wstring full(full_count, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), full_count, full.data(), nullptr);
    if (length == 0 || length >= full_count) return {};
    full.resize(length);
    // Already extended, or a device name: taken as it is.
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Binary mode, and never inherited by a program the tool starts. A path too long for the
// ANSI calls (the authoring tool reads installers wherever they lie) is opened through its
// extended-length form.
int OpenDescriptor(const char* path, int flags) {
    constexpr int kMode = _S_IREAD | _S_IWRITE;
    flags |= _O_BINARY | _O_NOINHERIT;
    if (std::strlen(path) < MAX_PATH) return ::_open(path, flags, kMode);
    const std::wstring extended = ExtendedLengthPath(path);
    return extended.empty() ? -1 : ::_wopen(extended.c_str(), flags, kMode);
}
int ReadDescriptor(int file, void* buffer, unsigned count) {
    return ::_read(file, buffer, count);
}
int WriteDescriptor(int file, const void* buffer, unsigned count) {
    return ::_write(file, buffer, count);
}
long long SeekDescriptor(int file, long offset, int whence) {
    return ::_lseeki64(file, offset, whence);
}
void CloseDescriptor(int file) {
    ::_close(file);
}
#else
int OpenDescriptor(const char* path, int flags) {
    return ::open(path, flags | O_CLOEXEC, 0644);
}
long ReadDescriptor(int file, void* buffer, unsigned count) {
    return ::read(file, buffer, count);
}
long WriteDescriptor(int file, const void* buffer, unsigned count) {
    return ::write(file, buffer, count);
}
long long SeekDescriptor(int file, long offset, int whence) {
    return ::lseek(file, offset, whence);
}
void CloseDescriptor(int file) {
    ::close(file);
}
#endif

// The Windows runtime moves at most INT_MAX bytes per call.
unsigned Chunk(uint32_t left) {
    return left > INT_MAX ? INT_MAX : left;
}

} // namespace

FileHandle PlatOpenRead(const char* path) {
    return OpenDescriptor(path, O_RDONLY);
}

FileHandle PlatCreateFile(const char* path) {
    return OpenDescriptor(path, O_RDWR | O_CREAT | O_TRUNC);
}

uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const auto got =
            ReadDescriptor(file, static_cast<char*>(buffer) + done, Chunk(count - done));
        if (got < 0) return done ? done : kIoFailed;
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const auto put =
            WriteDescriptor(file, static_cast<const char*>(buffer) + done, Chunk(count - done));
        if (put <= 0) return done ? done : kIoFailed;
        done += static_cast<uint32_t>(put);
    }
    return done;
}

int32_t PlatSeek(FileHandle file, int32_t offset, SeekOrigin origin) {
    const int whence = origin == kFromStart     ? SEEK_SET
                       : origin == kFromCurrent ? SEEK_CUR
                                                : SEEK_END;
    const long long position = SeekDescriptor(file, offset, whence);
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<int32_t>(position);
}

void PlatClose(FileHandle file) {
    CloseDescriptor(file);
}
