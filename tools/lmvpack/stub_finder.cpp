#include "tools/lmvpack/stub_finder.h"

namespace fs = std::filesystem;

std::vector<fs::path> StubCandidates() {
    std::vector<fs::path> candidates;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        candidates.push_back(self.parent_path() / ".." / "share" / "lmvpack" / "lmvstub.exe");
#ifdef LMV_SOURCE_DIR
    candidates.push_back(fs::path(LMV_SOURCE_DIR) / "build" / "win32" / "lmvstub.exe");
#endif
    return candidates;
}

std::optional<fs::path> FindStub() {
    for (const fs::path& candidate : StubCandidates()) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate.lexically_normal();
    }
    return std::nullopt;
}
