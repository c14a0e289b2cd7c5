// lmvpack init: a commented starter manifest to edit.
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/stub_finder.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// Every plain key comes before the first [table]: TOML reads a plain key below a table's
// header as part of that table. It names every key of kManifestKeys (manifest/manifest.h), the
// optional ones commented out, so that an author sees all there is.
constexpr std::string_view kStarterManifest =
    R"(# lmvpack manifest: what goes into the installer. Paths are relative to this file's folder,
# written with / (also for installers built on Windows).
# Build with:    lmvpack build screensaver.toml -o Setup.exe
# Preview with:  lmvpack preview screensaver.toml -o title.png
# Every key is described in docs/manifest.md.

# The screen saver's name. The installer adds "Screen Saver" to it: the title screen shows
# "<name> Screen Saver", so leave those words out. It installs <name>.scr into the Windows
# folder. ASCII only. At most 109 bytes (90 for Windows XP): the data file's path holds
# the name twice.
name = "Northern Lights"

# Optional: a license text the user must accept (UTF-8 or Windows-1252, at most 64 KiB).
# The installer shows it even when started with /S (silent).
# agreement = "license.txt"
# agreement_encoding = "utf-8"   # or "windows-1252"

# Ask for DirectX 7 after installing (true) or not (false, the default).
needs_directx = false

# The title screen's gradient, from the top colour toward the bottom colour ("#RRGGBB").
top_color = "#0000FF"
bottom_color = "#000000"

# Members are compressed when that makes them smaller ("auto"); true or false forces it.
compress = "auto"

# Extra media files (the [[media]] tables at the end) are installed as
# <prefix><number><suffix>, e.g. FILE0001.MID. The first one carries first_media_number,
# the next one more, and so on.
first_media_number = 1

# The screen saver. Like the data file and the uninstaller below, it may also carry its own
# compress setting, on its line:
#   screensaver = { file = "my.scr", compress = false }
screensaver = "my.scr"

# Optional: the screen saver's data file, installed as <name>.dat beside the uninstaller.
# Without it the installer installs a one-line placeholder.
# data = "my.dat"

# Optional: the uninstaller that Add/Remove Programs runs. Without it the installer installs
# lmvpack's own, which removes everything the installation wrote.
# uninstaller = "uninstal.exe"

# Optional: the installer's own icon (a .ico file) instead of the standard one.
# icon = "my.ico"

# Tables come last: every key below a [table] or [[media]] line belongs to that table.
# One [[media]] table per media file, in the order they are installed:
# [[media]]
# file = "music/theme.mid"
# suffix = ".MID"        # at most 15 bytes; defaults to the file's own extension
# prefix = "FILE"        # "FILE", "JUKE" or "JUK_"
# compress = "auto"      # defaults to the top-level compress

# Optional: version information that Windows shows in the installer's properties.
# [version]
# product = "My Saver"
# version = "1.0.0.0"
# company = "My Company"
# copyright = "(c) 2025 My Company"
)";

struct InitOptions {
    std::string folder = ".";
    std::string name = "screensaver.toml";
    bool force = false;
};

int RunInit(const InitOptions& options) {
    const fs::path path = fs::path(options.folder) / options.name;
    std::error_code error;
    if (fs::exists(path, error) && !options.force) {
        std::fprintf(stderr, "lmvpack init: %s exists already; use --force to replace it\n",
                     path.string().c_str());
        return 2;
    }
    try {
        fs::create_directories(options.folder, error);
        // The reference the starter names is where this machine keeps it.
        std::string starter(kStarterManifest);
        const std::string_view reference = "docs/manifest.md";
        starter.replace(starter.find(reference), reference.size(),
                        DocumentPath("manifest.md").generic_string());
        WriteFileAtomically(
            path, std::span(reinterpret_cast<const uint8_t*>(starter.data()), starter.size()),
            false);
    } catch (const BuildError& failure) {
        std::fprintf(stderr, "lmvpack init: %s\n", failure.what());
        return 2;
    }
    std::printf("Wrote %s.\n\nNext:\n"
                "  1. Put your screen saver (.scr) beside it,\n"
                "     and set name, colours and file names in the manifest.\n"
                "  2. lmvpack preview %s -o title.png   (see the title screen)\n"
                "  3. lmvpack build %s -o Setup.exe      (make the installer)\n",
                path.string().c_str(), path.string().c_str(), path.string().c_str());
    return 0;
}

} // namespace

void AddInitCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<InitOptions>();
    CLI::App* command = app.add_subcommand("init", "Write a commented starter manifest");
    command->add_option("folder", options->folder,
                        "Folder to write it into (default: the current one)");
    command->add_option("--name", options->name,
                        "File name of the manifest (default: screensaver.toml)");
    command->add_flag("--force", options->force, "Replace an existing manifest");
    command->footer("Example:\n  lmvpack init my-saver && cd my-saver && $EDITOR screensaver.toml");
    command->callback([options, &exit_status] { exit_status = RunInit(*options); });
}
