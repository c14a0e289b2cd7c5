// lmvpack build: manifest and stub in, installer out.
#include "tools/lmvpack/builder/builtin_members.h"
#include "tools/lmvpack/builder/installer_builder.h"
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/cli/progress_bar.h"
#include "tools/lmvpack/manifest/manifest.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/closest_name.h"
#include "tools/lmvpack/support/file_streams.h"
#include "tools/lmvpack/support/stub_finder.h"
#include "tools/lmvpack/support/temporary_files.h"
#include "tools/lmvpack/support/tool_error.h"
#include "tools/lmvpack/support/worker_thread.h"

#ifndef _WIN32
#include "package/package_format.h"
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/signing/installer_signing.h"
#include "tools/lmvpack/support/ansi_text.h"
#endif

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

struct BuildOptions {
    std::string manifest;
    std::string output;
    std::string stub;
    std::string uninstaller;
    std::string level = "default";
    unsigned jobs = 0; // 0: one per core
    bool quiet = false;
#ifndef _WIN32
    SigningOptions signing;
#endif
    bool json = false;
    bool werror = false;
    std::vector<std::string> defines; // -D KEY=VALUE
};

// The installer's size as written: a signature makes it larger than the image built.
uint64_t WrittenSize(const std::string& output, const BuiltInstaller& built) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(output, error);
    return error ? built.size : size;
}

// What a build found and made: lines on standard error as it goes or, with --json, one
// object on standard output at the end, for CI systems that annotate files and lines.
class BuildReport {
  public:
    explicit BuildReport(bool json) : json_(json) {}

    void Add(const ManifestDiagnostic& found) {
        if (!json_) {
            std::fprintf(stderr, "%s: %s\n", found.is_error ? "error" : "warning",
                         found.Text().c_str());
            return;
        }
        nlohmann::json object = {{"severity", found.is_error ? "error" : "warning"}};
        if (!found.file.empty()) object["file"] = found.file;
        if (found.line > 0) object["line"] = found.line;
        if (found.column > 0) object["column"] = found.column;
        if (!found.key.empty()) object["key"] = found.key;
        object["message"] = found.message;
        diagnostics_.push_back(std::move(object));
    }
    // A failure outside the manifest: the stub, the output, a member file changing meanwhile.
    void Fail(const std::string& message) {
        if (json_)
            diagnostics_.push_back({{"severity", "error"}, {"message", message}});
        else
            std::fprintf(stderr, "lmvpack build: %s\n", message.c_str());
    }
    void Summary(const std::string& line) {
        if (!json_) std::fprintf(stderr, "lmvpack build: %s\n", line.c_str());
    }
    void Built(const std::string& output, const BuiltInstaller& built) {
        installer_ = {{"path", output},
                      {"size", WrittenSize(output, built)},
                      {"members", nlohmann::json::array()}};
        for (const BuiltMember& member : built.members)
            installer_["members"].push_back({{"key", member.key},
                                             {"file", member.file.string()},
                                             {"size", member.original_size},
                                             {"stored_size", member.stored_size},
                                             {"compressed", member.compressed}});
    }
    // The exit status, after the object when --json asked for one.
    int Finish(int status) const {
        if (json_) {
            const nlohmann::json report = {
                {"ok", status == 0}, {"diagnostics", diagnostics_}, {"installer", installer_}};
            std::printf("%s\n", report.dump(2).c_str());
        }
        return status;
    }

  private:
    bool json_;
    nlohmann::json diagnostics_ = nlohmann::json::array();
    nlohmann::json installer_ = nullptr;
};

std::filesystem::path ChooseStub(const std::string& given) {
    if (!given.empty()) return given;
    if (const auto found = FindStub()) return *found;
    throw BuildError("no installer stub found; give one with --stub PATH (searched:" +
                     SearchedPlaces(kStubFileName) + ")");
}

std::string Percent(uint64_t part, uint64_t whole) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%",
                  whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 100.0);
    return text;
}

void PrintSummary(const BuildOptions& options, const BuiltInstaller& built) {
    uint64_t original = 0, stored = 0;
    std::printf("%-14s %12s %12s  %s\n", "member", "size", "in installer", "file");
    for (const BuiltMember& member : built.members) {
        original += member.original_size;
        stored += member.stored_size;
        std::printf("%-14s %12llu %12llu  %s%s\n", member.key.c_str(),
                    static_cast<unsigned long long>(member.original_size),
                    static_cast<unsigned long long>(member.stored_size),
                    member.file.filename().string().c_str(),
                    member.compressed ? " (compressed)" : "");
    }
    std::printf("%zu members, %llu bytes packed into %llu (%s); wrote %s, %llu bytes\n",
                built.members.size(), static_cast<unsigned long long>(original),
                static_cast<unsigned long long>(stored), Percent(stored, original).c_str(),
                options.output.c_str(),
                static_cast<unsigned long long>(WrittenSize(options.output, built)));
}

// Writing the installer over one of the build's inputs would destroy a source the author
// cannot build again without: the stub, the manifest, the agreement, a member. Files are
// compared by identity, not by name, so another spelling of the path, a symbolic link or a hard
// link to an input is refused as well.
void RefuseToOverwriteAnInput(const std::filesystem::path& output, const Manifest& manifest,
                              const std::filesystem::path& stub) {
    std::vector<std::filesystem::path> inputs = {stub, manifest.path};
    inputs.insert(inputs.end(), manifest.other_inputs.begin(), manifest.other_inputs.end());
    for (const MemberSource& member : manifest.members)
        inputs.push_back(member.file);
    if (!manifest.icon.empty()) inputs.push_back(manifest.icon);
    for (const std::filesystem::path& input : inputs) {
        if (SameFile(output, input))
            throw BuildError(output.string() + ": is one of the build's inputs (" + input.string() +
                             "); write the installer somewhere else");
    }
}

#ifndef _WIN32
std::string ProgramName(const Manifest& manifest, const char* what) {
    return Windows1252ToUtf8(TrimTrailingBlanks(manifest.name)) + " Screen Saver " + what;
}

// The uninstaller member signed with the installer's certificate, before anything is
// compressed: Add/Remove Programs then names the author as its publisher, and a wrong
// password or an unusable key shows at once. The signed copy is a temporary file that the
// manifest's uninstaller member takes the place of; messages name the original.
TemporaryPath SignUninstaller(Manifest& manifest, const SigningKey& key,
                              const std::filesystem::path& output) {
    MemberSource& member = manifest.members[kUninstallerMember];
    TemporaryPath copy(output.parent_path() / ("." + output.filename().string() + ".uninstaller"),
                       TemporaryPath::Kind::File);
    SignProgram(member.file, copy.path(), key, ProgramName(manifest, "Uninstaller"),
                member.file.string());
    member.file = copy.path();
    return copy;
}

// The installer is built into a temporary file of its own beside the output, which signing
// reads; only the signed file takes the output's name.
BuiltInstaller BuildSigned(const BuildOptions& options, const Manifest& manifest,
                           const std::filesystem::path& stub, const BuildSettings& settings,
                           const SigningKey& key, const ProgressReport& show) {
    const std::filesystem::path output = options.output;
    const TemporaryPath unsigned_copy(output.parent_path() /
                                          ("." + output.filename().string() + ".unsigned"),
                                      TemporaryPath::Kind::File);
    const BuiltInstaller built =
        BuildInstaller(manifest, stub, unsigned_copy.path(), settings, show);
    const SignatureInfo info = SignInstaller(unsigned_copy.path(), output, key,
                                             ProgramName(manifest, "Installation"), options.output);
    if (!options.quiet && !options.json) std::printf("signed by %s\n", info.signer.c_str());
    return built;
}
#endif

int RunBuild(const BuildOptions& options) {
    BuildReport report(options.json);
    const std::optional<CompressionLevel> level = ParseCompressionLevel(options.level);
    if (!level) {
        report.Fail("--level must be fast, default or best" +
                    DidYouMean(options.level, {"fast", "default", "best"}));
        return report.Finish(2);
    }
#ifndef _WIN32
    // The password is read before anything else: its variable then leaves the environment.
    std::optional<SigningKey> key;
    if (SigningRequested(options.signing) || !SigningOptionsProblem(options.signing).empty()) {
        try {
            key = ReadSigningKey(options.signing);
        } catch (const BuildError& error) {
            report.Fail(error.what());
            return report.Finish(2);
        }
    }
#endif
    const ManifestLoad load = LoadManifest(options.manifest, true, options.defines);
    size_t problems = load.problems.size();
    for (ManifestDiagnostic found : load.diagnostics) {
        // A CI job that wants a clean manifest: every warning stops the build as an error.
        if (options.werror && !found.is_error) {
            found.is_error = true;
            found.message += " (a warning, an error with --werror)";
            ++problems;
        }
        report.Add(found);
    }
    if (problems > 0) {
        report.Summary(std::to_string(problems) + " problem" + (problems == 1 ? "" : "s") +
                       " in the manifest; nothing was written");
        return report.Finish(2);
    }
    try {
        const std::filesystem::path stub = ChooseStub(options.stub);
        Manifest manifest = *load.manifest;
        ResolveBuiltinMembers(manifest, options.uninstaller);
        RefuseToOverwriteAnInput(options.output, manifest, stub);
        // Found now rather than after minutes of compressing.
        PrepareOutputPath(options.output);
#ifndef _WIN32
        const std::filesystem::path uninstaller = manifest.members[kUninstallerMember].file;
        const TemporaryPath signed_uninstaller =
            key ? SignUninstaller(manifest, *key, options.output) : TemporaryPath();
#endif
        ProgressBar progress(!options.quiet && !options.json, stderr);
        const BuildSettings settings{*level, options.jobs > 0 ? options.jobs : CoreCount()};
        const auto show = [&](uint64_t done, uint64_t total, const std::string& label) {
            progress.Update(done, total, label);
        };
#ifndef _WIN32
        BuiltInstaller built = key ? BuildSigned(options, manifest, stub, settings, *key, show)
                                   : BuildInstaller(manifest, stub, options.output, settings, show);
        built.members[kUninstallerMember].file = uninstaller;
#else
        const BuiltInstaller built = BuildInstaller(manifest, stub, options.output, settings, show);
#endif
        progress.Clear();
        if (options.json)
            report.Built(options.output, built);
        else if (!options.quiet)
            PrintSummary(options, built);
        return report.Finish(0);
    } catch (const BuildError& error) {
        report.Fail(error.what());
        return report.Finish(2);
    }
}

} // namespace

void AddBuildCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<BuildOptions>();
    CLI::App* command =
        app.add_subcommand("build", "Build an installer from a manifest and the stub");
    command->add_option("manifest", options->manifest, "The manifest (TOML)")->required();
    command->add_option("-o,--output", options->output, "The installer to write")->required();
    command->add_option("--stub", options->stub,
                        "The installer stub (default: the installed lmvstub.exe)");
    command->add_option("--uninstaller", options->uninstaller,
                        "The built-in uninstaller, packed when the manifest names none "
                        "(default: the installed lmvuninst.exe)");
    command->add_option("--level", options->level, "Compression effort: fast, default or best");
    command
        ->add_option("-j,--jobs", options->jobs,
                     "Members compressed at once (default: one per core); the installer is the "
                     "same whatever the number")
        ->check(CLI::Range(1u, 256u));
    command->add_flag("-q,--quiet", options->quiet, "No progress bar and no summary");
    command->add_flag("--json", options->json,
                      "Print one JSON object (errors and warnings, the members built) for CI");
    command
        ->add_option("-D,--define", options->defines,
                     "Set or replace a manifest key: -D version.version=1.2.3.4 (repeatable; "
                     "checked as in the file; paths relative to the current folder)")
        ->expected(1)
        ->take_all();
    command->add_flag("--werror", options->werror,
                      "Treat every warning as an error (exit status 2, nothing written), for CI");
#ifndef _WIN32
    AddSigningOptions(*command, options->signing);
#endif
    command->footer("Example:\n  lmvpack build aurora.toml -o AuroraSetup.exe\n"
                    "  lmvpack build aurora.toml -o AuroraSetup.exe --werror -D "
                    "version.version=1.2.3.4\n"
                    "Every problem of the manifest is reported at once (exit status 2) and no file "
                    "is written.");
    command->callback([options, &exit_status] { exit_status = RunBuild(*options); });
}
