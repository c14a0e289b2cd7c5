#include "tools/lmvpack/support/atomic_file.h"

#include "tools/lmvpack/support/file_streams.h"
#include "tools/lmvpack/support/tool_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <random>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::string Reason() {
    return std::strerror(errno);
}

} // namespace

#ifdef _WIN32
namespace {

std::string SystemReason(DWORD code) {
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

} // namespace

// Windows has no mkstemp: the temporary name is chosen at random and created only if it does
// not exist yet. Windows has no execute permission bit, so `executable` changes nothing; the
// rename replaces the old file the way rename(2) does. Wide names throughout: the name may
// hold characters outside the ANSI code page.
AtomicFile::AtomicFile(const std::filesystem::path& path, bool executable)
    : path_(path), executable_(executable) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file_ < 0; ++attempt) {
        wchar_t suffix[8];
        std::swprintf(suffix, 8, L"%06x", static_cast<unsigned>(random() & 0xFFFFFF));
        const std::filesystem::path candidate =
            folder / (L"." + path.filename().wstring() + L"." + suffix);
        // Deletable while open: Ctrl-C removes it (temporary_files.h).
        file_ = OpenSharedFile(candidate, true, CREATE_NEW);
        if (file_ >= 0) temporary_ = TemporaryPath(candidate, TemporaryPath::Kind::File);
        if (file_ < 0 && errno != EEXIST) break;
    }
    if (file_ < 0) throw BuildError(path.string() + ": cannot create a file there: " + Reason());
}

void AtomicFile::Write(std::span<const uint8_t> bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 30);
        const int put = ::_write(file_, bytes.data() + done, static_cast<unsigned>(chunk));
        if (put <= 0) Fail(Reason());
        done += static_cast<size_t>(put);
    }
    size_ += bytes.size();
}

void AtomicFile::Overwrite(uint64_t offset, std::span<const uint8_t> bytes) {
    if (offset + bytes.size() > size_ ||
        ::_lseeki64(file_, static_cast<__int64>(offset), SEEK_SET) < 0)
        Fail("a place that was never written");
    for (size_t done = 0; done < bytes.size();) {
        const int put =
            ::_write(file_, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
        if (put <= 0) Fail(Reason());
        done += static_cast<size_t>(put);
    }
    if (::_lseeki64(file_, static_cast<__int64>(size_), SEEK_SET) < 0) Fail(Reason());
}

void AtomicFile::Commit() {
    if (::_commit(file_) != 0) Fail(Reason());
    const int closed = ::_close(file_);
    file_ = -1;
    if (closed != 0) Fail(Reason());
    if (!MoveFileExW(temporary_.path().wstring().c_str(), path_.wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail(SystemReason(GetLastError()));
    temporary_.Release();
}

AtomicFile::~AtomicFile() {
    // Closed first: Windows deletes no file that is open.
    if (file_ >= 0) ::_close(file_);
}
#else
AtomicFile::AtomicFile(const std::filesystem::path& path, bool executable)
    : path_(path), executable_(executable) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string name = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    file_ = ::mkstemp(name.data());
    if (file_ < 0) throw BuildError(path.string() + ": cannot create a file there: " + Reason());
    temporary_ = TemporaryPath(name, TemporaryPath::Kind::File);
}

void AtomicFile::Write(std::span<const uint8_t> bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(file_, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) Fail(Reason());
        done += static_cast<size_t>(put);
    }
    size_ += bytes.size();
}

void AtomicFile::Overwrite(uint64_t offset, std::span<const uint8_t> bytes) {
    if (offset + bytes.size() > size_) Fail("a place that was never written");
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::pwrite(file_, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) Fail(Reason());
        done += static_cast<size_t>(put);
    }
}

void AtomicFile::Commit() {
    // mkstemp creates the file for the owner only; give it the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(file_, (executable_ ? 0777 : 0666) & ~mask) != 0 || ::fsync(file_) != 0)
        Fail(Reason());
    const int closed = ::close(file_);
    file_ = -1;
    if (closed != 0 || ::rename(temporary_.path().c_str(), path_.c_str()) != 0) Fail(Reason());
    temporary_.Release();
}

AtomicFile::~AtomicFile() {
    if (file_ >= 0) ::close(file_);
}
#endif

void AtomicFile::Fail(const std::string& why) {
    throw BuildError(path_.string() + ": cannot write: " + why);
}

void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         bool executable) {
    AtomicFile file(path, executable);
    file.Write(bytes);
    file.Commit();
}

void PrepareOutputPath(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw BuildError(path.string() +
                         ": is a folder; give the name of the file to write inside it");
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    if (std::filesystem::exists(folder, error) && !std::filesystem::is_directory(folder, error))
        throw BuildError(folder.string() + ": is a file, not a folder");
    std::error_code creation;
    std::filesystem::create_directories(folder, creation);
    if (!std::filesystem::is_directory(folder, error))
        throw BuildError(folder.string() + ": cannot create the folder" +
                         (creation ? ": " + creation.message() : std::string()));
        // Only creating a file shows that the folder takes one: permissions, read-only mounts,
        // access lists and quotas all have their say.
#ifdef _WIN32
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[8];
        std::swprintf(suffix, 8, L"%06x", static_cast<unsigned>(random() & 0xFFFFFF));
        const std::wstring probe = (folder / (L".lmvpack-probe-" + std::wstring(suffix))).wstring();
        const int file =
            ::_wopen(probe.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEMPORARY | _O_NOINHERIT,
                     _S_IREAD | _S_IWRITE);
        if (file >= 0) {
            ::_close(file); // _O_TEMPORARY removes it
            return;
        }
        if (errno != EEXIST) break;
    }
#else
    std::string probe = (folder / ".lmvpack-probe-XXXXXX").string();
    const int file = ::mkstemp(probe.data());
    if (file >= 0) {
        ::close(file);
        ::unlink(probe.c_str());
        return;
    }
#endif
    throw BuildError(folder.string() + ": cannot write into this folder: " + Reason());
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BuildError(path.string() + ": cannot open: " + Reason());
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) throw BuildError(path.string() + ": cannot read: " + Reason());
    return bytes;
}
