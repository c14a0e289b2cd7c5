// The Linux side of the kernel layer: POSIX calls with the results of their Win32 models.
#include "platform/file_api.h"

#include <fcntl.h>
#include <unistd.h>

FileHandle PlatOpenRead(const char* path) {
    return ::open(path, O_RDONLY | O_CLOEXEC);
}

FileHandle PlatCreateFile(const char* path) {
    return ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(file, static_cast<char*>(buffer) + done, count - done);
        if (got < 0) return done ? done : kIoFailed;
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(file, static_cast<const char*>(buffer) + done, count - done);
        if (put <= 0) return done ? done : kIoFailed;
        done += static_cast<uint32_t>(put);
    }
    return done;
}

int32_t PlatSeek(FileHandle file, int32_t offset, SeekOrigin origin) {
    const int whence = origin == kFromStart     ? SEEK_SET
                       : origin == kFromCurrent ? SEEK_CUR
                                                : SEEK_END;
    const off_t position = ::lseek(file, offset, whence);
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<int32_t>(position);
}

void PlatClose(FileHandle file) {
    ::close(file);
}
