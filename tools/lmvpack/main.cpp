// lmvpack: builds screen-saver installers from the stub and a manifest, and reads them back.
#include "tools/lmvpack/commands.h"

int main(int argc, char** argv) {
    CLI::App app{"lmvpack: build, list, extract and verify screen-saver installers"};
    app.require_subcommand(1);
    app.footer("Start with:\n  lmvpack init my-saver\n  lmvpack build my-saver/screensaver.toml -o "
               "Setup.exe\n"
               "Each command's --help shows an example; docs/manifest.md describes the manifest.");
    int exit_status = 0;
    AddInitCommand(app, exit_status);
    AddBuildCommand(app, exit_status);
    AddListCommand(app, exit_status);
    AddInfoCommand(app, exit_status);
    AddExtractCommand(app, exit_status);
    AddVerifyCommand(app, exit_status);
    AddPreviewCommand(app, exit_status);
    AddCodecCommands(app, exit_status);
#ifndef _WIN32
    AddSignCommand(app, exit_status);
    AddTryCommand(app, exit_status);
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : 2;
    }
    return exit_status;
}
