#include "tools/lmvpack/file_streams.h"

#include "tools/lmvpack/tool_error.h"

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
FILE* OpenStream(const std::filesystem::path& path, const char* mode) {
    std::wstring wide_mode(mode, mode + std::strlen(mode));
    return ::_wfopen(path.wstring().c_str(), wide_mode.c_str());
}

bool SeekStream(FILE* stream, uint64_t position) {
    return ::_fseeki64(stream, static_cast<__int64>(position), SEEK_SET) == 0;
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
            path_ = candidate;
            return;
        }
        if (errno != EEXIST) break;
    }
    throw BuildError("cannot create a temporary file in " + folder.string() + ": " +
                     std::strerror(errno));
}

ScratchFile::~ScratchFile() {
    DeleteFileW(path_.wstring().c_str());
}
#else
FILE* OpenStream(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool SeekStream(FILE* stream, uint64_t position) {
    return ::fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
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
    ::close(file);
    path_ = name;
}

ScratchFile::~ScratchFile() {
    ::unlink(path_.c_str());
}
#endif
