#include "tools/lmvpack/stub_finder.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

std::vector<fs::path> ProgramCandidates(std::string_view file_name) {
    std::vector<fs::path> candidates;
    const fs::path name{std::string(file_name)};
#ifdef _WIN32
    // A Windows author usually keeps the tool's files in one folder; an install tree has the
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
    candidates.push_back(fs::path(LMV_SOURCE_DIR) / "tools" / "lmvpack" / "data" / name);
#endif
    return candidates;
}

std::optional<fs::path> FindProgram(std::string_view file_name) {
    for (const fs::path& candidate : ProgramCandidates(file_name)) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate.lexically_normal();
    }
    return std::nullopt;
}
