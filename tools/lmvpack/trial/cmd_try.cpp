// lmvpack try: installs an installer under Wine, on a private virtual display, and shows what
// it did, so that an author can test an installer without Windows.
#include "install/install_layout.h"
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/installer/member_restore.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/stub_finder.h"
#include "tools/lmvpack/support/tool_error.h"
#include "tools/lmvpack/trial/try_command.h"
#include "tools/lmvpack/trial/wine_trial.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

// Exit statuses beyond the common ones: the machine cannot run a trial, and an interruption.
constexpr int kCannotTry = 3;
constexpr int kInterrupted = 130;

struct TryOptions {
    std::string installer;
    bool uninstall = false;
    bool interactive = false;
    std::string screenshot;
    std::string keep;
    int timeout = 300;
};

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted = true;
}

// While a trial runs, Ctrl-C, SIGTERM and SIGHUP only ask it to stop: it then stops Wine and
// the display and removes its prefix before lmvpack exits.
class StopRequests {
  public:
    StopRequests() {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~StopRequests() {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &previous_[i], nullptr);
    }
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(kSignals)]{};
};

void ExplainMissing(const std::vector<std::string>& missing) {
    std::string list;
    for (const std::string& program : missing)
        list += (list.empty() ? "" : ", ") + program;
    std::fprintf(stderr,
                 "lmvpack try: this machine lacks %s. A trial runs the installer under Wine on a "
                 "virtual display (Xvfb).\n"
                 "On Debian or Ubuntu, as root:\n"
                 "  dpkg --add-architecture i386 && apt-get update\n"
                 "  apt-get install --no-install-recommends wine wine32:i386 xvfb x11-apps "
                 "imagemagick\n"
                 "(x11-apps and imagemagick take the --screenshot). Elsewhere, install Wine with "
                 "its 32-bit part and Xvfb from your system's packages. On a kernel that runs no "
                 "32-bit programs, scripts/setup.sh of lmvpack's sources also sets up qemu for "
                 "them.\n",
                 list.c_str());
}

// A member that would not restore installs "successfully" all the same (the package format
// holds no checksum): what verify finds, try refuses before anything runs.
bool RefuseDamage(const InstallerListing& listing) {
    const PackageFindings findings = CheckPackage(listing);
    for (const MemberFinding& found : findings.members)
        if (!found.problem.empty())
            std::fprintf(stderr, "lmvpack try: %s: member %u (%s) would not install whole: %s\n",
                         listing.path.c_str(), found.member->index,
                         Windows1252ToUtf8(found.member->installed_name).c_str(),
                         found.problem.c_str());
    if (!findings.package_problem.empty())
        std::fprintf(stderr, "lmvpack try: %s: %s\n", listing.path.c_str(),
                     findings.package_problem.c_str());
    if (findings.failures == 0 && findings.package_problem.empty()) return false;
    std::fprintf(stderr, "lmvpack try: nothing was tried; lmvpack verify %s tells the same\n",
                 listing.path.c_str());
    return true;
}

int RunTry(const TryOptions& options) {
    InstallerListing listing;
    try {
        listing = ReadInstaller(options.installer);
    } catch (const InstallerError& error) {
        std::fprintf(stderr, "lmvpack try: %s\n", error.what());
        return 1;
    }
    if (RefuseDamage(listing)) return 1;
    const bool interactive = options.interactive || !options.screenshot.empty();
    if (!options.interactive && !options.screenshot.empty())
        std::fprintf(stderr, "lmvpack try: --screenshot runs the installer interactively: its "
                             "title screen shows only then\n");
    if (const auto missing = MissingTrialPrograms(!options.screenshot.empty()); !missing.empty()) {
        ExplainMissing(missing);
        return kCannotTry;
    }
    const std::optional<std::filesystem::path> driver = FindProgram(kGuiDriverFileName);
    if (!driver) {
        const std::string searched = SearchedPlaces(kGuiDriverFileName);
        std::fprintf(stderr,
                     "lmvpack try: gui_driver.exe, which plays the user under Wine, is not "
                     "installed beside lmvpack (searched:%s)\nBuild the win32 preset, or install "
                     "lmvpack with it.\n",
                     searched.c_str());
        return kCannotTry;
    }

    TrialOptions trial;
    trial.installer = options.installer;
    trial.screen_saver_name = listing.name;
    trial.interactive = interactive;
    trial.screenshot = options.screenshot.empty() ? std::filesystem::path()
                                                  : std::filesystem::absolute(options.screenshot);
    trial.keep = options.keep;
    trial.driver = *driver;
    trial.timeout = std::chrono::seconds(options.timeout);
    trial.uninstall = options.uninstall;
    trial.progress = [](const std::string& line) { std::fprintf(stderr, "== %s\n", line.c_str()); };

    g_interrupted = false;
    const StopRequests stop_requests;
    TrialRun run;
    try {
        run = RunTrial(trial, &g_interrupted);
    } catch (const TrialInterrupted&) {
        std::fprintf(stderr, "lmvpack try: interrupted; Wine and its display are stopped%s\n",
                     options.keep.empty() ? " and the trial's prefix is removed" : "");
        return kInterrupted;
    } catch (const TrialError& error) {
        std::fprintf(stderr, "lmvpack try: %s\n", error.what());
        return kCannotTry;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lmvpack try: %s\n", error.what());
        return kCannotTry;
    }

    std::printf("Tried %s (\"%s\") %s in a fresh 32-bit Wine prefix.\n", options.installer.c_str(),
                Windows1252ToUtf8(TrimTrailingBlanks(listing.name)).c_str(),
                interactive ? "interactively, answering every question with yes"
                            : "silently (/S), accepting the licence");
    std::printf("%s", FormatFindings(run.findings).c_str());
    if (!options.screenshot.empty()) {
        if (run.screenshot_written)
            std::printf("Screenshot of the title screen: %s\n", options.screenshot.c_str());
        else
            std::printf("No screenshot: %s\n", run.screenshot_problem.c_str());
    }
    bool removed = true;
    if (options.uninstall) {
        if (run.removal) {
            std::printf("%s", FormatRemoval(*run.removal).c_str());
            const std::optional<uint32_t> removal = run.removal->driver.exit_code;
            removed = removal && *removal == 0 && run.removal->left.empty();
        } else {
            std::printf("Not removed: %s.\n", run.no_removal.c_str());
            removed = false;
        }
    }
    if (!run.kept_prefix.empty())
        std::printf("The prefix is kept in %s; look around with\n  WINEPREFIX=%s wine explorer\n",
                    run.kept_prefix.c_str(), run.kept_prefix.c_str());
    const std::optional<uint32_t> status = run.findings.driver.exit_code;
    if (!options.screenshot.empty() && !run.screenshot_written) return 1;
    return status && *status == 0 && removed ? 0 : 1;
}

} // namespace

void AddTryCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<TryOptions>();
    CLI::App* command = app.add_subcommand(
        "try", "Install an installer under Wine and show what it wrote (no Windows needed)");
    command->add_option("installer", options->installer, "The installer")->required();
    command->add_flag("--uninstall", options->uninstall,
                      "Then remove it as Add/Remove Programs does (its UninstallString) and show "
                      "what the removal left of what the installation added");
    command->add_flag("--interactive", options->interactive,
                      "Run it as a user does (title screen and questions, each answered yes) "
                      "instead of with /S");
    command->add_option("--screenshot", options->screenshot,
                        "Save a picture of the title screen with the first question over it "
                        "(PNG; implies --interactive)");
    command->add_option("--keep", options->keep,
                        "Make the Wine prefix in this new folder and keep it afterwards");
    command
        ->add_option("--timeout", options->timeout,
                     "Seconds the installer may take before it is stopped (default 300)")
        ->check(CLI::Range(10, 3600));
    command->footer(
        "Example:\n  lmvpack try AuroraSetup.exe --screenshot title.png\n"
        "  lmvpack try AuroraSetup.exe --uninstall\n"
        "Checks the installer as verify does, runs it in a throwaway 32-bit Wine prefix on a "
        "private virtual display, accepts the licence, and prints the exit status, every file "
        "written, " +
        std::string(kInstallLogName) +
        ", the Uninstall entry and the screen-saver setting; with "
        "--uninstall it then removes the screen saver by its UninstallString and prints the "
        "removal's exit status and every file, folder, registry value and setting the "
        "installation added that the removal left. The first trial makes the prefix (a minute "
        "or more) and keeps it in ~/.cache/lmvpack.\n"
        "Exit status 0 when the installer exits with 0 (and with --uninstall, the removal too, "
        "leaving nothing), 1 when it does not (or does not end, or the file is no installer or "
        "a damaged one), 3 when this machine cannot run Wine, 130 when interrupted.\n"
        "Wine is not a sandbox: try only installers whose screen saver you trust.");
    command->callback([options, &exit_status] { exit_status = RunTry(*options); });
}
