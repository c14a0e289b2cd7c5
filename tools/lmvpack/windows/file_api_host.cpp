// The kernel layer for lmvpack.exe: the C runtime's descriptor calls in binary mode, with the
// results of their Win32 models. The installer's own layer (platform/file_api_win32.cpp) would
// answer "own executable" with the running program, which here is the tool and not the
// installer it reads; the module name the tool sets comes from platform/host_stand_ins_host.cpp.
#include "platform/file_api.h"

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

FileHandle PlatOpenRead(const char* path) {
    return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

FileHandle PlatCreateFile(const char* path) {
    return ::_open(path, _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}

uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const unsigned chunk = count - done > INT_MAX ? INT_MAX : count - done;
        const int got = ::_read(file, static_cast<char*>(buffer) + done, chunk);
        if (got < 0) return done ? done : kIoFailed;
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const unsigned chunk = count - done > INT_MAX ? INT_MAX : count - done;
        const int put = ::_write(file, static_cast<const char*>(buffer) + done, chunk);
        if (put <= 0) return done ? done : kIoFailed;
        done += static_cast<uint32_t>(put);
    }
    return done;
}

int32_t PlatSeek(FileHandle file, int32_t offset, SeekOrigin origin) {
    const int whence = origin == kFromStart     ? SEEK_SET
                       : origin == kFromCurrent ? SEEK_CUR
                                                : SEEK_END;
    const long long position = ::_lseeki64(file, offset, whence);
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<int32_t>(position);
}

void PlatClose(FileHandle file) {
    ::_close(file);
}
