// lmvpack preview: a PNG of the title screen the installer will show.
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/manifest/manifest.h"
#include "tools/lmvpack/preview/title_preview.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstdio>
#include <memory>

namespace {

struct PreviewOptions {
    std::string manifest;
    std::string output;
    std::string size = "1024x768";
    std::vector<std::string> defines; // -D KEY=VALUE
};

constexpr int kLargestSide = 16384;

bool ParseSize(const std::string& text, int& width, int& height) {
    char separator = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &width, &separator, &height, &rest) != 3)
        return false;
    return (separator == 'x' || separator == 'X') && width > 0 && height > 0 &&
           width <= kLargestSide && height <= kLargestSide;
}

int RunPreview(const PreviewOptions& options) {
    int width = 0, height = 0;
    if (!ParseSize(options.size, width, height)) {
        std::fprintf(
            stderr,
            "lmvpack preview: --size must be WIDTHxHEIGHT, each 1 to %d, for example 1024x768\n",
            kLargestSide);
        return 2;
    }
    const ManifestLoad load = LoadManifest(options.manifest, false, options.defines);
    // Warnings too: a name that repeats the words the title adds shows here first.
    for (const ManifestDiagnostic& found : load.diagnostics)
        std::fprintf(stderr, "%s: %s\n", found.is_error ? "error" : "warning",
                     found.Text().c_str());
    if (!load.manifest) {
        std::fprintf(stderr, "lmvpack preview: fix the manifest first; nothing was written\n");
        return 2;
    }
    try {
        PrepareOutputPath(options.output);
        const Manifest& manifest = *load.manifest;
        const std::vector<uint8_t> png =
            RenderTitlePng(Windows1252ToUtf8(manifest.name), manifest.top_color,
                           manifest.bottom_color, width, height);
        WriteFileAtomically(options.output, png, false);
    } catch (const BuildError& error) {
        std::fprintf(stderr, "lmvpack preview: %s\n", error.what());
        return 2;
    }
    return 0;
}

} // namespace

void AddPreviewCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<PreviewOptions>();
    CLI::App* command = app.add_subcommand("preview", "Draw the installer's title screen as a PNG");
    command->add_option("manifest", options->manifest, "The manifest (TOML)")->required();
    command->add_option("-o,--output", options->output, "The PNG to write")->required();
    command->add_option("--size", options->size, "Screen size WIDTHxHEIGHT (default 1024x768)");
    command
        ->add_option("-D,--define", options->defines,
                     "Set or replace a manifest key, as lmvpack build -D does: -D "
                     "top_color=#102060")
        ->expected(1)
        ->take_all();
#ifdef _WIN32
    command->footer("Example:\n  lmvpack preview aurora.toml -o title.png --size 800x600\n"
                    "Drawn by the installer's own painting code, with this system's fonts and "
                    "resolution.");
#else
    command->footer("Example:\n  lmvpack preview aurora.toml -o title.png --size 800x600\n"
                    "The picture assumes 96 dpi and DejaVu Sans in place of Windows' Arial.");
#endif
    command->callback([options, &exit_status] { exit_status = RunPreview(*options); });
}
