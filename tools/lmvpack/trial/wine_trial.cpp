#include "tools/lmvpack/trial/wine_trial.h"

#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/process/child_process.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/tool_error.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Raised whenever the prefix's settings below change, so that old kept prefixes are not used.
constexpr int kTemplateRevision = 2;
constexpr const char* kOwnFolder = "lmvpack-try"; // in drive_c: driver, script, log, installer
constexpr const char* kStampFile = ".lmvpack-template";
constexpr auto kWinebootTime = 600s;
constexpr auto kWineCommandTime = 120s;
// Wine reaching our first instruction: seconds on a usual machine, more on a loaded one.
constexpr auto kDriverStartTime = 90s;

// Folders whose files the stamp of the kept prefix covers: nearly all of its size.
const std::vector<std::string> kStampedFolders = {"drive_c/windows/system32",
                                                  "drive_c/windows/winsxs"};
// The removal's uninstaller hands its last steps to a copy of itself, which ends on its own.
constexpr auto kRemovalEndTime = 120s;

// A test prefix must not wait for a window manager that Xvfb does not have (Wine waits about
// two seconds after every dialog otherwise), and a crash must end the program rather than open
// a dialog that waits forever. Screen saving is on, as in every Windows user profile: the
// installer's switching it on is then no change that a removal should undo.
constexpr const char* kPrefixSettings = "REGEDIT4\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"
                                        "\"Managed\"=\"N\"\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"
                                        "\"ShowCrashDialog\"=dword:00000000\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"
                                        "\"ScreenSaveActive\"=\"1\"\r\n";

void CheckInterrupted(const std::atomic<bool>* interrupted) {
    if (interrupted && *interrupted) throw TrialInterrupted();
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw BuildError("cannot write " + path.string());
}

// The last lines of a program's output, for an error message.
std::string Tail(const std::string& output) {
    constexpr size_t kShown = 600;
    std::string tail =
        output.size() > kShown ? "..." + output.substr(output.size() - kShown) : output;
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == ' '))
        tail.pop_back();
    return tail.empty() ? "(no output)" : tail;
}

std::vector<std::pair<std::string, std::string>> WineEnvironment(const fs::path& prefix,
                                                                 const std::string& display) {
    return {{"WINEPREFIX", prefix.string()},
            {"WINEARCH", "win32"},
            {"WINEDEBUG", "-all"},
            // No .NET or HTML offers, no menu entries or file associations on the host, and no
            // web browser started on the host for a download page.
            {"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d;winebrowser.exe=d"},
            {"DISPLAY", display}};
}

ChildCommand WineCommand(const fs::path& prefix, const std::string& display,
                         std::vector<std::string> argv) {
    ChildCommand command;
    command.argv = std::move(argv);
    command.set_env = WineEnvironment(prefix, display);
    if (display.empty()) command.unset_env = {"DISPLAY"};
    return command;
}

// Ends every Wine process of the prefix; the wineserver saves the registry as it goes.
void StopWine(const fs::path& prefix) {
    try {
        RunCaptured(WineCommand(prefix, "", {"wineserver", "-k"}), 30s);
        RunCaptured(WineCommand(prefix, "", {"wineserver", "-w"}), 30s);
    } catch (const std::runtime_error&) {
        // Nothing more can be done for it; the prefix is removed all the same.
    }
}

fs::path CacheFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return fs::path(cache) / "lmvpack";
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".cache" / "lmvpack";
    return fs::temp_directory_path() / ("lmvpack-cache-" + std::to_string(::getuid()));
}

// Another lmvpack may be making the same prefix; the lock makes it wait for it.
class CacheLock {
  public:
    CacheLock(const fs::path& folder, const TrialOptions& options,
              const std::atomic<bool>* interrupted) {
        fd_ = ::open((folder / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            throw BuildError("cannot lock " + (folder / "lock").string() + ": " +
                             std::strerror(errno));
        bool told = false;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (!told && options.progress)
                options.progress("waiting for another lmvpack that is preparing the Wine prefix");
            told = true;
            CheckInterrupted(interrupted);
            std::this_thread::sleep_for(100ms); // the lock's holder gives no other signal
        }
    }
    ~CacheLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;

  private:
    int fd_ = -1;
};

// Size and time of every file of the large folders, to tell before each use that the kept
// prefix is still whole.
std::string SharedFilesStamp(const fs::path& prefix) {
    std::ostringstream stamp;
    for (const std::string& folder : kStampedFolders)
        for (const auto& [relative, state] : SnapshotFiles(prefix / folder))
            stamp << folder << "/" << relative << '\t' << state.size << '\t'
                  << state.time.time_since_epoch().count() << '\n';
    return stamp.str();
}

bool TemplateIsWhole(const fs::path& prefix) {
    std::error_code error;
    if (!fs::is_regular_file(prefix / kStampFile, error)) return false;
    return ReadText(prefix / kStampFile) == SharedFilesStamp(prefix);
}

// Wine links the prefix's drive Z: to the root of the file system and the user's document
// folders to the home folder; a trial has no use for either, and an installer under trial
// should not write into the author's home.
void KeepPrefixToItself(const fs::path& prefix) {
    std::error_code error;
    fs::remove(prefix / "dosdevices" / "z:", error);
    for (const auto& user : fs::directory_iterator(prefix / "drive_c" / "users", error)) {
        for (const auto& entry : fs::directory_iterator(user.path(), error)) {
            if (!entry.is_symlink(error)) continue;
            const fs::path path = entry.path();
            fs::remove(path, error);
            fs::create_directory(path, error);
        }
    }
}

std::string WineVersion() {
    ChildCommand command;
    command.argv = {"wine", "--version"};
    const Captured version = RunCaptured(command, 60s);
    if (version.status != 0) throw TrialError("wine --version failed: " + Tail(version.output));
    std::string name;
    for (const char c : version.output)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') name += c;
    return name;
}

// The kept prefix, made first when there is none (or only a damaged one).
fs::path PreparedTemplate(const TrialOptions& options, const std::atomic<bool>* interrupted) {
    const fs::path cache = CacheFolder();
    std::error_code error;
    fs::create_directories(cache, error);
    if (error) throw BuildError("cannot make " + cache.string() + ": " + error.message());
    const fs::path prefix =
        cache / ("wine-prefix-" + WineVersion() + "-" + std::to_string(kTemplateRevision));
    const CacheLock lock(cache, options, interrupted);
    if (TemplateIsWhole(prefix)) return prefix;
    fs::remove_all(prefix, error);

    const fs::path building = prefix.string() + ".building";
    fs::remove_all(building, error);
    struct Abandon {
        fs::path path;
        bool done = false;
        ~Abandon() {
            if (done) return;
            StopWine(path);
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } abandon{building};
    if (options.progress)
        options.progress("making a 32-bit Wine prefix in " + prefix.string() +
                         " (once per Wine version; a minute or more)");
    const auto started = std::chrono::steady_clock::now();
    const Captured boot =
        RunCaptured(WineCommand(building, "", {"wineboot", "-i"}), kWinebootTime, interrupted);
    CheckInterrupted(interrupted);
    if (boot.status != 0)
        throw TrialError("Wine could not make a prefix (wineboot -i " +
                         (boot.status ? "exited with " + std::to_string(*boot.status)
                                      : std::string("did not finish")) +
                         "): " + Tail(boot.output));
    WriteText(building / "drive_c" / "lmvpack-settings.reg", kPrefixSettings);
    const Captured settings = RunCaptured(
        WineCommand(building, "", {"wine", "regedit", "/S", "C:\\lmvpack-settings.reg"}),
        kWineCommandTime, interrupted);
    CheckInterrupted(interrupted);
    if (settings.status != 0)
        throw TrialError("Wine's regedit failed in the new prefix: " + Tail(settings.output));
    fs::remove(building / "drive_c" / "lmvpack-settings.reg", error);
    StopWine(building);
    KeepPrefixToItself(building);
    WriteText(building / kStampFile, SharedFilesStamp(building));
    fs::rename(building, prefix, error);
    if (error) throw BuildError("cannot move the new prefix into place: " + error.message());
    abandon.done = true;
    if (options.progress)
        options.progress("the prefix took " +
                         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                            std::chrono::steady_clock::now() - started)
                                            .count()) +
                         " s to make");
    return prefix;
}

// A copy of its own, made by the kernel: copy_file_range moves the bytes without passing them
// through the tool, and shares the blocks on file systems that can (Btrfs, XFS).
void CopyFile(const fs::path& from, const fs::path& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool copied = in >= 0 && out >= 0;
    while (copied) {
        const ssize_t done = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (done == 0) break;
        copied = done > 0;
    }
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    if (copied) return;
    // Across file systems on old kernels, and on file systems that cannot: the usual way.
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void CopyPrefix(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (fs::recursive_directory_iterator it(from), end; it != end; ++it) {
        const std::string relative = it->path().lexically_relative(from).generic_string();
        if (relative == kStampFile) continue;
        const fs::path target = to / relative;
        if (it->is_symlink())
            fs::copy_symlink(it->path(), target);
        else if (it->is_directory())
            fs::create_directory(target);
        else
            CopyFile(it->path(), target);
    }
}

// Trial prefixes of lmvpack processes that died before they could remove them.
void RemoveAbandonedRuns(const fs::path& runs) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(runs, error)) {
        const std::string name = entry.path().filename().string();
        int pid = 0;
        if (std::sscanf(name.c_str(), "run-%d-", &pid) != 1 || pid <= 0) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        StopWine(entry.path() / "prefix");
        fs::remove_all(entry.path(), error);
    }
}

// The private X server; stopped when this goes.
class VirtualDisplay {
  public:
    explicit VirtualDisplay(const std::atomic<bool>* interrupted) {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0)
            throw BuildError(std::string("cannot make a pipe: ") + std::strerror(errno));
        ChildCommand command;
        // Xvfb picks a free display number itself and writes it to the descriptor.
        command.argv = {"Xvfb",      "-displayfd", std::to_string(pipe[1]),
                        "-screen",   "0",          "1024x768x24",
                        "-nolisten", "tcp"};
        command.keep_fds = {pipe[1]};
        try {
            server_ = std::make_unique<Child>(command);
        } catch (const std::runtime_error& failure) {
            ::close(pipe[0]);
            ::close(pipe[1]);
            throw TrialError(std::string("Xvfb did not start: ") + failure.what());
        }
        ::close(pipe[1]);
        std::string number;
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (number.empty() || number.back() != '\n') {
            if (interrupted && *interrupted) break;
            if (server_->Poll() || std::chrono::steady_clock::now() > until) break;
            pollfd entry{pipe[0], POLLIN, 0};
            if (::poll(&entry, 1, 100) <= 0) continue;
            char c;
            if (::read(pipe[0], &c, 1) != 1) break;
            number += c;
        }
        ::close(pipe[0]);
        CheckInterrupted(interrupted);
        if (number.empty() || number.back() != '\n')
            throw TrialError("Xvfb did not start (no display number within 30 s)");
        number.pop_back();
        display_ = ":" + number;
    }
    const std::string& display() const { return display_; }

  private:
    std::unique_ptr<Child> server_;
    std::string display_;
};

// The trial's prefix: Wine stopped and the folder removed when this goes, unless kept.
class TrialPrefix {
  public:
    TrialPrefix(fs::path root, fs::path prefix, bool keep)
        : root_(std::move(root)), prefix_(std::move(prefix)), keep_(keep) {}
    ~TrialPrefix() {
        StopWine(prefix_);
        std::error_code ignored;
        if (!keep_) fs::remove_all(root_, ignored);
    }
    TrialPrefix(const TrialPrefix&) = delete;
    TrialPrefix& operator=(const TrialPrefix&) = delete;
    const fs::path& prefix() const { return prefix_; }

  private:
    fs::path root_, prefix_;
    bool keep_;
};

// A file name the installer can keep in the prefix: the author's when it is plain.
std::string InstallerFileName(const fs::path& installer) {
    const std::string name = installer.filename().string();
    const bool plain =
        !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
                   c == '_' || c == ' ';
        });
    return plain && fs::path(name).extension() != "" ? name : "Setup.exe";
}

// The driver's script: a user who says yes to everything that installs, and no to what would
// leave the prefix (download pages).
std::string DriverScript(const TrialOptions& options, const std::string& installer,
                         bool screenshot) {
    const std::string caption =
        TrimTrailingBlanks(options.screen_saver_name) + " Screen Saver Installation";
    std::string script = "timeout\t" + std::to_string(options.timeout.count()) + "\r\n";
    script += "run\tC:\\" + std::string(kOwnFolder) + "\\" + installer + "\r\n";
    script += std::string("args\t") + (options.interactive ? "" : "/S") + "\r\n";
    script += "answer\tReplace Screen Saver?\tYes\r\n";
    script += "answer\tDisk Full\tOK\r\n";
    script += "answer\t" + caption + "\tOK\r\n"; // the confirmation
    script += "answer\tLicense Agreement\tAccept\r\n";
    script += "answer\t" + caption + "\tOK\r\n"; // "Installation Complete!"
    script += "answer\t" + caption + "\tNo\r\n"; // the DirectX download question
    script += "answer\tMissing support codecs\tCancel\r\n";
    if (screenshot) script += "shot\t" + caption + "\r\n";
    return script;
}

struct Screenshot {
    bool written = false;
    std::string problem;
};

// The whole virtual screen, as the driver asked for it once the first question over the title
// screen was painted: what the user sees when the installer starts.
Screenshot TakeScreenshot(const std::string& display, const fs::path& scratch,
                          const fs::path& png) {
    Screenshot shot;
    try {
        ChildCommand xwd;
        xwd.argv = {"xwd",
                    "-root",
                    "-silent",
                    "-display",
                    display,
                    "-out",
                    (scratch / "screen.xwd").string()};
        const Captured grabbed = RunCaptured(xwd, 60s);
        if (grabbed.status != 0) {
            shot.problem = "xwd failed: " + Tail(grabbed.output);
            return shot;
        }
        ChildCommand convert;
        convert.argv = {"convert", "xwd:" + (scratch / "screen.xwd").string(),
                        "png:" + png.string()};
        const Captured converted = RunCaptured(convert, 60s);
        if (converted.status != 0)
            shot.problem = "convert failed: " + Tail(converted.output);
        else
            shot.written = true;
    } catch (const std::runtime_error& failure) {
        shot.problem = failure.what();
    }
    return shot;
}

struct DriverRun {
    Screenshot shot;
    bool shot_asked = false;
};

// Runs the GUI driver until it ends (after its run) or its time is up, taking the screenshot
// it asks for and answering at once its request for a look at the files before the run (the
// end-to-end tests take one; a trial has taken stock already). Wine is started once more when
// it never reached the driver.
DriverRun RunDriver(const ChildCommand& driver, const fs::path& log, const std::string& display,
                    const fs::path& scratch, const TrialOptions& options,
                    const std::atomic<bool>* interrupted) {
    const fs::path shot_request = log.string() + ".shot-request";
    const fs::path shot_done = log.string() + ".shot-done";
    const fs::path mark_request = log.string() + ".mark-request";
    const fs::path mark_done = log.string() + ".mark-done";
    const fs::path prefix = log.parent_path().parent_path().parent_path();
    DriverRun run;
    std::error_code error;
    for (int attempt = 1;; ++attempt) {
        Child wine(driver);
        const auto started = std::chrono::steady_clock::now();
        bool never_started = false;
        std::string mark_answered;
        while (!wine.Wait(20ms, interrupted)) {
            CheckInterrupted(interrupted);
            const auto waited = std::chrono::steady_clock::now() - started;
            if (!fs::exists(log, error) && waited > kDriverStartTime) {
                never_started = true;
                break;
            }
            // The driver's own limit ends the installer first; this one ends a driver that hung.
            if (waited > options.timeout + 60s) break;
            if (!run.shot_asked && fs::exists(shot_request, error)) {
                run.shot = TakeScreenshot(display, scratch, options.screenshot);
                run.shot_asked = true;
                WriteText(shot_done, "");
            }
            // Each request carries a number of its own; an empty file is one being written.
            if (const std::string number = ReadText(mark_request);
                !number.empty() && number != mark_answered) {
                mark_answered = number;
                WriteText(mark_done, "");
            }
        }
        wine.Stop();
        if (!never_started) return run;
        // Wine itself hung before our program ran (seen now and then on a loaded machine):
        // nothing of the installer has run yet, so Wine may start afresh once.
        StopWine(prefix);
        if (attempt == 2)
            throw TrialError("Wine did not start the GUI driver within " +
                             std::to_string(kDriverStartTime.count()) +
                             " s, twice: " + Tail(ReadText(driver.output_file)));
        if (options.progress) options.progress("Wine did not start; starting it once more");
    }
}

ChildCommand DriverCommand(const fs::path& prefix, const std::string& display,
                           const std::string& script, const fs::path& log) {
    const std::string windows_own = std::string("C:\\") + kOwnFolder + "\\";
    ChildCommand driver = WineCommand(prefix, display,
                                      {"wine", windows_own + "gui_driver.exe", windows_own + script,
                                       windows_own + log.filename().string()});
    driver.output_file = prefix / ("lmvpack-try-" + log.stem().string() + "-wine-output.txt");
    return driver;
}

// The removal, in a Wine session of its own after the installation's: the driver starts the
// UninstallString as Add/Remove Programs does (the system finds the program in the command
// line) and says yes to it. The session ends when the uninstaller's copy of itself has
// finished (the wineserver ends after its last program), or is ended after a while.
DriverOutcome RunRemoval(const TrialOptions& options, const fs::path& prefix,
                         const std::string& display, const fs::path& scratch,
                         const std::string& command, const std::atomic<bool>* interrupted) {
    const AnsiConversion ansi = Utf8ToWindows1252(command);
    if (!ansi.problem.empty() || command.find_first_of("\t\r\n") != std::string::npos)
        throw TrialError("the UninstallString " + command + " cannot be run as it is written");
    const fs::path own = prefix / "drive_c" / kOwnFolder;
    const std::string caption = TrimTrailingBlanks(options.screen_saver_name) + " Screen Saver";
    std::string script = "timeout\t" + std::to_string(options.timeout.count()) + "\r\n";
    script += "command\t" + ansi.text + "\r\n";
    // Our uninstaller's question, then its report of what it could not remove; another
    // uninstaller's windows get the answers of a user who wants it gone.
    script += "answer\t" + caption + "\tYes\r\n";
    script += "answer\t" + caption + "\tOK\r\n";
    script += "fallback\tYes\tOK\tNext\tFinish\tClose\r\n";
    WriteText(own / "removal.txt", script);
    const fs::path log = own / "removal.log";
    TrialOptions removal = options;
    removal.screenshot.clear();
    RunDriver(DriverCommand(prefix, display, "removal.txt", log), log, display, scratch, removal,
              interrupted);
    RunCaptured(WineCommand(prefix, "", {"wineserver", "-w"}), kRemovalEndTime, interrupted);
    CheckInterrupted(interrupted);
    StopWine(prefix);
    return ParseDriverLog(ReadText(log));
}

} // namespace

std::vector<std::string> MissingTrialPrograms(bool screenshot) {
    std::vector<std::string> missing;
    std::vector<std::string> needed = {"wine", "wineboot", "wineserver", "Xvfb"};
    if (screenshot) needed.insert(needed.end(), {"xwd", "convert"});
    for (const std::string& program : needed)
        if (!FindOnPath(program)) missing.push_back(program);
    return missing;
}

TrialRun RunTrial(const TrialOptions& options, const std::atomic<bool>* interrupted) {
    const fs::path template_prefix = PreparedTemplate(options, interrupted);

    fs::path root, prefix;
    std::error_code error;
    if (!options.keep.empty()) {
        if (fs::exists(options.keep, error) && !fs::is_empty(options.keep, error))
            throw BuildError("--keep " + options.keep.string() +
                             ": the folder exists and is not empty; give a new one");
        root = prefix = fs::absolute(options.keep);
    } else {
        const fs::path runs = template_prefix.parent_path() / "runs";
        fs::create_directories(runs, error);
        RemoveAbandonedRuns(runs);
        root = runs / ("run-" + std::to_string(::getpid()) + "-" +
                       std::to_string(std::random_device{}() & 0xFFFFFF));
        prefix = root / "prefix";
    }
    const VirtualDisplay display(interrupted);
    const TrialPrefix trial(root, prefix, !options.keep.empty());
    if (options.progress) options.progress("copying the prefix to " + prefix.string());
    CopyPrefix(template_prefix, prefix);
    CheckInterrupted(interrupted);

    const fs::path own = prefix / "drive_c" / kOwnFolder;
    fs::create_directories(own);
    const std::string installer = InstallerFileName(options.installer);
    fs::copy_file(options.installer, own / installer);
    fs::copy_file(options.driver, own / "gui_driver.exe");
    const bool screenshot = !options.screenshot.empty();
    WriteText(own / "script.txt", DriverScript(options, installer, screenshot));
    const PrefixState before = ReadPrefixState(prefix);
    const std::string system_reg_before = ReadText(prefix / "system.reg");

    if (options.progress)
        options.progress(std::string("running ") + installer + (options.interactive ? "" : " /S") +
                         " on display " + display.display());
    const fs::path log = own / "driver.log";
    ChildCommand driver = DriverCommand(prefix, display.display(), "script.txt", log);
    const DriverRun driven = RunDriver(driver, log, display.display(), root, options, interrupted);
    // The installer has ended (or was stopped); whatever it started goes too, and the
    // wineserver writes the registry on its way out.
    StopWine(prefix);

    if (!fs::exists(log, error))
        throw TrialError("the GUI driver wrote no log: " + Tail(ReadText(driver.output_file)));
    TrialRun run;
    run.findings = ReadFindings(prefix, before.files, system_reg_before, ReadText(log), kOwnFolder);
    if (screenshot) {
        run.screenshot_written = driven.shot.written;
        run.screenshot_problem = driven.shot_asked
                                     ? driven.shot.problem
                                     : "the installer showed no question over its title screen, so "
                                       "there was no moment to take it";
    }
    if (options.uninstall) {
        const PrefixState installed = ReadPrefixState(prefix);
        const std::string name = TrimTrailingBlanks(options.screen_saver_name);
        if (const std::optional<std::string> command =
                UninstallCommand(installed.machine, Windows1252ToUtf8(name))) {
            if (options.progress)
                options.progress("removing it by its UninstallString " + *command);
            RemovalFindings removal;
            removal.command = *command;
            removal.driver =
                RunRemoval(options, prefix, display.display(), root, *command, interrupted);
            removal.left = LeftBehind(before, installed, ReadPrefixState(prefix), kOwnFolder);
            run.removal = std::move(removal);
        } else {
            run.no_removal = "the installation wrote no UninstallString under its Uninstall "
                             "entry \"" +
                             Windows1252ToUtf8(name) +
                             "\", so Add/Remove Programs cannot remove it";
        }
    }
    if (!options.keep.empty()) run.kept_prefix = prefix;
    return run;
}
