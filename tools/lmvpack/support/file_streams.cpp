#include "tools/lmvpack/support/file_streams.h"

#include "tools/lmvpack/support/tool_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <random>
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32
int OpenSharedFile(const std::filesystem::path& path, bool write, unsigned long disposition) {
    const HANDLE file = CreateFileW(path.wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND     ? ENOENT
                : error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS      ? EEXIST
                : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
                                                                                   : EIO;
        return -1;
    }
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file),
                                             (write ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (descriptor < 0) CloseHandle(file);
    return descriptor;
}

FILE* OpenStream(const std::filesystem::path& path, const char* mode) {
    const bool write = mode[0] == 'w';
    const int descriptor =
        OpenSharedFile(path, write, static_cast<DWORD>(write ? CREATE_ALWAYS : OPEN_EXISTING));
    if (descriptor < 0) return nullptr;
    FILE* stream = ::_fdopen(descriptor, mode);
    if (stream == nullptr) ::_close(descriptor);
    return stream;
}

bool SeekStream(FILE* stream, uint64_t position) {
    return ::_fseeki64(stream, static_cast<__int64>(position), SEEK_SET) == 0;
}

namespace {

// The volume and the file's number on it; false when the file cannot be opened. The runtime's
// std::filesystem::equivalent() answers false for two names of one file in this build (tried
// under Wine: a build wrote over its agreement), so the system is asked directly.
bool FileIdentity(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION& info) {
    // No access rights asked for: the file may be open elsewhere, and folders open too.
    const HANDLE file = CreateFileW(path.wstring().c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
}

} // namespace

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return FileIdentity(a, first) && FileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

ScratchFile::ScratchFile() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) throw BuildError("cannot find the temporary folder: " + error.message());
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[32];
        std::swprintf(name, 32, L"lmvpack-%08x.tmp", static_cast<unsigned>(random()));
        const std::filesystem::path candidate = folder / name;
        const int file = ::_wopen(candidate.wstring().c_str(),
                                  _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                  _S_IREAD | _S_IWRITE);
        if (file >= 0) {
            ::_close(file);
            file_ = TemporaryPath(candidate, TemporaryPath::Kind::File);
            return;
        }
        if (errno != EEXIST) break;
    }
    throw BuildError("cannot create a temporary file in " + folder.string() + ": " +
                     std::strerror(errno));
}

#else
FILE* OpenStream(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool SeekStream(FILE* stream, uint64_t position) {
    return ::fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

ScratchFile::ScratchFile() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) throw BuildError("cannot find the temporary folder: " + error.message());
    std::string name = (folder / "lmvpack-XXXXXX").string();
    const int file = ::mkstemp(name.data());
    if (file < 0)
        throw BuildError("cannot create a temporary file in " + folder.string() + ": " +
                         std::strerror(errno));
    // Named before anything is written into it; a signal until then leaves an empty file.
    file_ = TemporaryPath(name, TemporaryPath::Kind::File);
    ::close(file);
}
#endif
