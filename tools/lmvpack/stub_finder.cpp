#include "tools/lmvpack/stub_finder.h"

#ifdef _WIN32
#include <string>
#include <windows.h>
#endif

namespace fs = std::filesystem;

std::vector<fs::path> DataFileCandidates(const std::string& name) {
    std::vector<fs::path> candidates;
#ifdef _WIN32
    // A Windows author usually keeps the two programs in one folder; an install tree has the
    // same layout as on Linux.
    char self[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length > 0 && length < sizeof self) {
        const fs::path folder = fs::path(std::string(self, length)).parent_path();
        candidates.push_back(folder / name);
        candidates.push_back(folder / ".." / "share" / "lmvpack" / name);
    }
#else
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) candidates.push_back(self.parent_path() / ".." / "share" / "lmvpack" / name);
#endif
#ifdef LMV_SOURCE_DIR
    candidates.push_back(fs::path(LMV_SOURCE_DIR) / "build" / "win32" / name);
#endif
    return candidates;
}

std::vector<fs::path> StubCandidates() {
    return DataFileCandidates("lmvstub.exe");
}

std::optional<fs::path> FindStub() {
    return FindDataFile("lmvstub.exe");
}

std::optional<fs::path> FindDataFile(const std::string& name) {
    for (const fs::path& candidate : DataFileCandidates(name)) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate.lexically_normal();
    }
    return std::nullopt;
}
