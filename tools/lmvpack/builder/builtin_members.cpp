#include "tools/lmvpack/builder/builtin_members.h"

#include "tools/lmvpack/support/stub_finder.h"
#include "tools/lmvpack/support/tool_error.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path Find(std::string_view file_name, std::string_view role) {
    if (const auto found = FindProgram(file_name)) return *found;
    throw BuildError("the manifest asks for lmvpack's own " + std::string(role) + ", but no " +
                     std::string(file_name) + " was found; reinstall lmvpack, or name a file " +
                     "in the manifest (searched:" + SearchedPlaces(file_name) + ")");
}

} // namespace

void ResolveBuiltinMembers(Manifest& manifest, const fs::path& uninstaller) {
    for (size_t index = 0; index < manifest.members.size(); ++index) {
        MemberSource& member = manifest.members[index];
        if (!member.builtin) continue;
        if (member.key == "uninstaller")
            member.file =
                !uninstaller.empty() ? uninstaller : Find(kUninstallerFileName, "uninstaller");
        else
            member.file = Find(kNoDataFileName, "placeholder data file");
        std::error_code error;
        const bool usable = fs::is_regular_file(member.file, error) &&
                            fs::file_size(member.file, error) > 0 && !error;
        if (!usable)
            throw BuildError(member.file.string() + ": lmvpack's own " + member.key +
                             " file is missing, empty or not a file");
    }
}
