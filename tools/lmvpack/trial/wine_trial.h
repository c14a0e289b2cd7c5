// A trial installation under Wine: the installer runs in a throwaway 32-bit Windows prefix on
// a private virtual display, played by the GUI driver (gui_driver.exe, a small Win32 program
// that starts it, answers its windows by a script and logs what it saw), and what it did is
// read from the prefix afterwards.
//
// Making a prefix takes Wine a minute or more, so one is made per user and Wine version and
// kept in the user's cache ($XDG_CACHE_HOME/lmvpack); every trial runs in a copy of it, a copy
// of every file (the kernel copies them without reading them into the tool, and file systems
// that share blocks between copies share them), so that nothing a trial writes, in place or
// not, reaches the kept prefix or another trial. The kept prefix is checked before each use
// and made afresh when it is not whole. Wine and the display are stopped and the copy is
// removed however the trial ends: by itself, by an error, or by Ctrl-C.
//
// With `uninstall`, a second session follows the installation: the screen saver is removed
// as Add/Remove Programs removes it, by the Uninstall entry's UninstallString, and what the
// installation added is compared with what the removal left.
#pragma once

#include "tools/lmvpack/trial/trial_report.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// This machine cannot run a trial (Wine or Xvfb missing, or Wine would not start).
class TrialError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Ctrl-C (or SIGTERM, SIGHUP) ended the trial; everything it started has been stopped.
class TrialInterrupted : public std::runtime_error {
  public:
    TrialInterrupted() : std::runtime_error("interrupted") {}
};

struct TrialOptions {
    std::filesystem::path installer;
    std::string screen_saver_name;    // as the package stores it (Windows-1252), for captions
    bool interactive = false;         // run without /S, answering every question
    std::filesystem::path screenshot; // PNG of the title screen; empty for none
    std::filesystem::path keep;       // make the prefix here and keep it; empty: throw it away
    std::filesystem::path driver;     // gui_driver.exe
    std::chrono::seconds timeout{300};
    bool uninstall = false; // remove it afterwards, as Add/Remove Programs does
    std::function<void(const std::string&)> progress; // one line per step, for the user
};

struct TrialRun {
    TrialFindings findings;
    bool screenshot_written = false;
    std::string screenshot_problem;
    std::filesystem::path kept_prefix; // empty unless --keep
    // With `uninstall`: the removal, or why there was none (no Uninstall entry).
    std::optional<RemovalFindings> removal;
    std::string no_removal;
};

// The programs a trial needs that PATH does not have.
std::vector<std::string> MissingTrialPrograms(bool screenshot);

// Throws TrialError, TrialInterrupted (when `*interrupted` becomes true), or BuildError.
TrialRun RunTrial(const TrialOptions& options, const std::atomic<bool>* interrupted);
