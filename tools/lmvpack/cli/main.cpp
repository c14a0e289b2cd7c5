// lmvpack: builds screen-saver installers from the stub and a manifest, and reads them back.
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/support/closest_name.h"
#include "tools/lmvpack/support/stub_finder.h"
#include "tools/lmvpack/support/temporary_files.h"

#ifndef _WIN32
#include "tools/lmvpack/signing/sign_command.h"
#include "tools/lmvpack/trial/try_command.h"
#endif

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

// What no command reports itself: the system refused memory, a thread or a pipe.
constexpr int kUnexpectedFailureStatus = 3;

std::vector<std::string> CommandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(command->get_name());
    return names;
}

// A first word that is no command: CLI11 would call it an unexpected argument.
bool RefuseUnknownCommand(const CLI::App& app, int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') return false;
    const std::string typed = argv[1];
    const std::vector<std::string> names = CommandNames(app);
    if (std::find(names.begin(), names.end(), typed) != names.end()) return false;
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    std::fprintf(stderr,
                 "lmvpack: \"%s\" is not a command%s\nThe commands are %s; lmvpack --help "
                 "describes them.\n",
                 typed.c_str(), DidYouMean(typed, names).c_str(), list.c_str());
    return true;
}

// An option the command does not take, with the nearest one it does; false when the
// arguments hold no such option.
bool ExplainUnknownOption(const CLI::App& app, int argc, char** argv) {
    const auto parsed = app.get_subcommands();
    if (parsed.empty()) return false;
    const CLI::App& command = *parsed.front();
    std::vector<std::string> options;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames())
            options.push_back("--" + name);
        for (const std::string& name : option->get_snames())
            options.push_back("-" + name);
    }
    for (int i = 2; i < argc; ++i) {
        std::string typed = argv[i];
        if (typed == "--") break;
        if (typed.size() < 2 || typed[0] != '-') continue;
        typed = typed.substr(0, typed.find('='));
        if (std::find(options.begin(), options.end(), typed) != options.end()) continue;
        std::fprintf(stderr,
                     "lmvpack %s: %s is not an option of this command%s\nlmvpack %s --help "
                     "lists its options.\n",
                     command.get_name().c_str(), typed.c_str(), DidYouMean(typed, options).c_str(),
                     command.get_name().c_str());
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    RemoveTemporariesOnSignals();
    CLI::App app{"lmvpack: build, list, extract and verify screen-saver installers"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("lmvpack ") + LMV_VERSION);
    app.footer("Start with:\n  lmvpack init my-saver\n  lmvpack build my-saver/screensaver.toml -o "
               "Setup.exe\n"
               "Each command's --help shows an example; " +
               DocumentPath("manifest.md").string() + " describes the manifest.");
    int exit_status = 0;
    AddInitCommand(app, exit_status);
    AddBuildCommand(app, exit_status);
    AddListCommand(app, exit_status);
    AddInfoCommand(app, exit_status);
    AddExtractCommand(app, exit_status);
    AddVerifyCommand(app, exit_status);
    AddPreviewCommand(app, exit_status);
    AddCodecCommands(app, exit_status);
    AddWingetCommand(app, exit_status);
#ifndef _WIN32
    AddSignCommand(app, exit_status);
    AddTryCommand(app, exit_status);
#endif
    if (RefuseUnknownCommand(app, argc, argv)) return 2;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ExtrasError& error) {
        if (ExplainUnknownOption(app, argc, argv)) return 2;
        return app.exit(error) == 0 ? 0 : 2;
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : 2;
    } catch (const std::bad_alloc&) {
        // Members pass through in pieces, so this takes a machine that is short of memory for
        // other reasons; say so rather than end without a word.
        std::fprintf(stderr, "lmvpack: not enough memory to go on; nothing more was written\n");
        return kUnexpectedFailureStatus;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lmvpack: %s\n", error.what());
        return kUnexpectedFailureStatus;
    }
    return exit_status;
}
