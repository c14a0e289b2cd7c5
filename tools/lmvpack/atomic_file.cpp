#include "tools/lmvpack/atomic_file.h"

#include "tools/lmvpack/tool_error.h"

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
// rename replaces the old file the way rename(2) does.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes, bool) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    // Wide names throughout: the name may hold characters outside the ANSI code page.
    std::wstring temporary;
    int file = -1;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file < 0; ++attempt) {
        wchar_t suffix[8];
        std::swprintf(suffix, 8, L"%06x", static_cast<unsigned>(random() & 0xFFFFFF));
        temporary = (folder / (L"." + path.filename().wstring() + L"." + suffix)).wstring();
        file =
            ::_wopen(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                     _S_IREAD | _S_IWRITE);
        if (file < 0 && errno != EEXIST) break;
    }
    if (file < 0) throw BuildError(path.string() + ": cannot create a file there: " + Reason());

    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 30);
        const int put = ::_write(file, bytes.data() + done, static_cast<unsigned>(chunk));
        ok = put > 0;
        if (ok) done += static_cast<size_t>(put);
    }
    std::string failure = ok ? std::string() : Reason();
    ok = ok && ::_commit(file) == 0;
    if (!ok && failure.empty()) failure = Reason();
    ok = (::_close(file) == 0) && ok;
    if (!ok && failure.empty()) failure = Reason();
    if (ok && !MoveFileExW(temporary.c_str(), path.wstring().c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = SystemReason(GetLastError());
        ok = false;
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        throw BuildError(path.string() + ": cannot write: " + failure);
    }
}
#else
void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         bool executable) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int file = ::mkstemp(temporary.data());
    if (file < 0) throw BuildError(path.string() + ": cannot create a file there: " + Reason());

    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t put = ::write(file, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        ok = put > 0;
        if (ok) done += static_cast<size_t>(put);
    }
    const std::string failure = ok ? std::string() : Reason();
    // mkstemp creates the file for the owner only; give it the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(file, (executable ? 0777 : 0666) & ~mask) == 0;
    ok = ok && ::fsync(file) == 0;
    ok = (::close(file) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        const std::string why = failure.empty() ? Reason() : failure;
        ::unlink(temporary.c_str());
        throw BuildError(path.string() + ": cannot write: " + why);
    }
}
#endif

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
