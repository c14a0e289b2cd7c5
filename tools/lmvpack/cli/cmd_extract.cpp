// lmvpack extract: every member under its installed name, never outside the target folder.
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/installer/member_restore.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/tool_error.h"
#include "tools/lmvpack/support/utf8_path.h"

#include <cstdio>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

struct ExtractOptions {
    std::string installer;
    std::string folder;
    bool quiet = false;
};

int RunExtract(const ExtractOptions& options) {
    const std::optional<InstallerListing> loaded = LoadInstaller(options.installer, "extract");
    if (!loaded) return 1;
    const InstallerListing& listing = *loaded;
    std::error_code error;
    fs::create_directories(options.folder, error);
    if (!fs::is_directory(options.folder)) {
        std::fprintf(stderr, "lmvpack extract: %s: cannot create the folder%s%s\n",
                     options.folder.c_str(), error ? ": " : "",
                     error ? error.message().c_str() : "");
        return 1;
    }

    int failures = 0;
    std::set<std::string> written;
    for (const ListedMember& member : listing.members) {
        const std::string name = Windows1252ToUtf8(member.installed_name);
        // A damaged or hostile package may carry names that climb out of the folder; the
        // tool writes only plain file names directly inside it.
        if (const std::string why = FileNameProblem(member.installed_name); !why.empty()) {
            std::fprintf(stderr,
                         "lmvpack extract: member %u: refused: its installed name \"%s\" %s\n",
                         member.index, name.c_str(), why.c_str());
            ++failures;
            continue;
        }
        // The atomic write never leaves a member cut short under its name, and its rename
        // replaces a symbolic link of that name instead of following it out of the folder.
        std::string problem;
        try {
            AtomicFile file(fs::path(options.folder) / PathFromUtf8(name), false);
            problem = RestoreMember(listing, member,
                                    [&](std::span<const uint8_t> piece) { file.Write(piece); });
            if (problem.empty()) {
                if (!written.insert(name).second)
                    std::fprintf(stderr,
                                 "lmvpack extract: member %u: \"%s\" was already written by an "
                                 "earlier member and is replaced, as the installer would\n",
                                 member.index, name.c_str());
                file.Commit();
            }
        } catch (const BuildError& failure) {
            std::fprintf(stderr, "lmvpack extract: %s\n", failure.what());
            ++failures;
            continue;
        }
        if (!problem.empty()) {
            std::fprintf(stderr, "lmvpack extract: member %u (%s): not written: %s\n", member.index,
                         name.c_str(), problem.c_str());
            ++failures;
            continue;
        }
        if (!options.quiet)
            std::printf("%s\n",
                        Utf8FromPath(fs::path(options.folder) / PathFromUtf8(name)).c_str());
    }
    return failures ? 1 : 0;
}

} // namespace

void AddExtractCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* command =
        app.add_subcommand("extract", "Write every member of an installer into a folder");
    command->add_option("installer", options->installer, "The installer")->required();
    command
        ->add_option("-o,--output", options->folder,
                     "The folder to write into (created if missing)")
        ->required();
    command->add_flag("-q,--quiet", options->quiet, "Do not list the files written");
    command->footer("Example:\n  lmvpack extract AuroraSetup.exe -o unpacked/\n"
                    "Members are written under the names the installer gives them; names that "
                    "would leave the folder are refused.");
    command->callback([options, &exit_status] { exit_status = RunExtract(*options); });
}
