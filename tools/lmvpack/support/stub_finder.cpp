#include "tools/lmvpack/support/stub_finder.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// The tool's own folder. Started under Wine by a Unix path that no drive leads to, the tool
// is named "unix\tmp\..." by the system, a name that reads as relative to the current
// folder; the system finds the file again only as "\\?\unix\tmp\...". Such a name is taken
// literally (no ".." is resolved in it, and the runtime's stat() refuses its "?"), so the
// folders above are reached by taking parents, and files are looked for by the system's call.
fs::path OwnFolder() {
    std::wstring self(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length == 0 || length >= self.size()) return {};
    self.resize(length);
    if (self.starts_with(L"unix\\")) self = L"\\\\?\\" + self;
    return fs::path(self).parent_path();
}

bool IsFile(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

fs::path Shown(const fs::path& path) {
    return path;
}
#else
fs::path OwnFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

fs::path Shown(const fs::path& path) {
    return path.lexically_normal();
}

// The folders of one kind ("programs", "documents") that the build-tree file beside the tool
// names, in its order; none beside an installed tool.
std::vector<fs::path> BuildTreePlaces(const fs::path& own_folder, std::string_view kind) {
    std::vector<fs::path> places;
    if (own_folder.empty()) return places;
    std::ifstream file(own_folder / kBuildTreeFileName);
    std::string line;
    while (std::getline(file, line)) {
        const size_t blank = line.find(' ');
        if (blank != std::string::npos && std::string_view(line).substr(0, blank) == kind)
            places.emplace_back(line.substr(blank + 1));
    }
    return places;
}
#endif

} // namespace

std::vector<fs::path> ProgramCandidates(std::string_view file_name) {
    std::vector<fs::path> candidates;
    const fs::path name{std::string(file_name)};
#ifdef _WIN32
    // A Windows author usually keeps the tool's files in one folder; an install tree has the
    // same layout as on Linux.
    if (const fs::path folder = OwnFolder(); !folder.empty()) {
        candidates.push_back(folder / name);
        candidates.push_back(folder.parent_path() / "share" / "lmvpack" / name);
    }
#else
    const fs::path folder = OwnFolder();
    if (!folder.empty()) candidates.push_back(folder / ".." / "share" / "lmvpack" / name);
    for (const fs::path& place : BuildTreePlaces(folder, "programs"))
        candidates.push_back(place / name);
#endif
    return candidates;
}

std::optional<fs::path> FindProgram(std::string_view file_name) {
    for (const fs::path& candidate : ProgramCandidates(file_name))
        if (IsFile(candidate)) return Shown(candidate);
    return std::nullopt;
}

std::string SearchedPlaces(std::string_view file_name) {
    std::string searched;
    for (const fs::path& candidate : ProgramCandidates(file_name))
        searched += "\n  " + Shown(candidate).string();
    return searched;
}

fs::path DocumentPath(std::string_view file_name) {
    const fs::path name{std::string(file_name)};
    std::vector<fs::path> candidates;
#ifdef _WIN32
    if (const fs::path folder = OwnFolder(); !folder.empty())
        candidates.push_back(folder / "docs" / name);
#else
    const fs::path folder = OwnFolder();
    if (!folder.empty())
        candidates.push_back(folder / ".." / "share" / "doc" / "lmvpack" / "docs" / name);
    for (const fs::path& place : BuildTreePlaces(folder, "documents"))
        candidates.push_back(place / name);
#endif
    for (const fs::path& candidate : candidates)
        if (IsFile(candidate)) return Shown(candidate);
    return candidates.empty() ? name : Shown(candidates.front());
}
