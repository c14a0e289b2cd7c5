// lmvpack list, verify and extract over an arbitrary file, through the commands' own code
// (the same CLI registration as the tool's main). What must hold: each ends with status 0
// or 1 (a readable installer or a clear refusal), list succeeds exactly when the installer's
// own reading of the table does, and extract writes plain files into its folder and nowhere
// else.
//
// verify and extract restore members in memory, and a file of a few KB may declare members
// that decode from zero bits to 1 GiB: the input's member table is bounded first, as the
// installer finds it (input_bounds.h: at most 8 members, unpacked sizes its bytes can pay for).
#include "fuzz_support.h"
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

int RunCommand(std::vector<std::string> arguments) {
    CLI::App app{"lmvpack"};
    app.require_subcommand(1);
    int exit_status = 0;
    AddListCommand(app, exit_status);
    AddVerifyCommand(app, exit_status);
    AddExtractCommand(app, exit_status);
    std::vector<const char*> argv = {"lmvpack"};
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), const_cast<char**>(argv.data()));
    } catch (const CLI::ParseError&) {
        std::abort(); // our own arguments are always well-formed
    }
    if (exit_status != 0 && exit_status != 1) std::abort();
    return exit_status;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The commands print listings; only findings matter here.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path folder = fs::path(fuzz::ScratchFolder()) / "lmvpack";
    static const fs::path installer = folder / "installer.exe";
    static const fs::path output = folder / "out";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<uint8_t> bytes(data, data + size);
    if (!fuzz::WriteBoundedInstaller(installer.string(), bytes)) return 0;

    bool readable = true;
    try {
        ReadInstaller(installer.string());
    } catch (const InstallerError&) {
        readable = false;
    }
    if ((RunCommand({"list", installer.string()}) == 0) != readable) std::abort();
    if (!readable) return 0;

    RunCommand({"verify", installer.string()});
    RunCommand({"extract", "-q", installer.string(), "-o", output.string()});
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path() != installer && entry.path() != output) std::abort();
    if (fs::exists(output))
        for (const fs::directory_entry& entry : fs::directory_iterator(output))
            if (!entry.is_regular_file() || entry.is_symlink()) std::abort();
    return 0;
}
