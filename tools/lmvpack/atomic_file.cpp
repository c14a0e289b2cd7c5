#include "tools/lmvpack/atomic_file.h"

#include "tools/lmvpack/tool_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Reason() {
    return std::strerror(errno);
}

} // namespace

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

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BuildError(path.string() + ": cannot open: " + Reason());
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) throw BuildError(path.string() + ": cannot read: " + Reason());
    return bytes;
}
