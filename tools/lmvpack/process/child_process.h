// Running the outside programs that some commands hand their work to (osslsigncode, Wine,
// Xvfb), with the control those commands need: a program found on PATH before anything is
// started, an environment changed only for the child, no terminal to prompt on, output
// captured, a time limit, and a child that never outlives lmvpack.
#pragma once

#include "tools/lmvpack/support/temporary_files.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// The program's full path as PATH finds it, or none.
std::optional<std::filesystem::path> FindOnPath(const std::string& program);

struct ChildCommand {
    std::vector<std::string> argv; // argv[0] is found on PATH unless it holds a '/'
    std::vector<std::pair<std::string, std::string>> set_env;
    std::vector<std::string> unset_env;
    // Where standard output and error go: captured (RunCaptured), into this file, or, when
    // both are empty, to /dev/null. Standard input is always /dev/null, so a child that
    // would ask a question on the terminal gets none and fails instead of waiting.
    std::filesystem::path output_file;
    // Descriptors the child keeps (at their numbers); every other one is closed.
    std::vector<int> keep_fds;
};

// A started child, in a process group of its own (so that the terminal's Ctrl-C reaches
// lmvpack, which then stops it in order), ended by SIGTERM should lmvpack die first, and by
// lmvpack's own signal handler before it removes its temporary files (temporary_files.h).
// The destructor stops a child that is still running.
class Child {
  public:
    // Throws std::runtime_error when the program cannot be found or started.
    explicit Child(const ChildCommand& command, bool capture_output = false);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // The exit status once it has ended (128 + the signal's number when a signal ended it).
    std::optional<int> Poll();
    // Waits until it ends or `timeout` passes or `*stop` becomes true; none in the last two
    // cases. Captured output is collected meanwhile.
    std::optional<int> Wait(std::chrono::milliseconds timeout,
                            const std::atomic<bool>* stop = nullptr);
    // SIGTERM to its process group, then SIGKILL after `grace` if it is still there.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));
    const std::string& output() const { return output_; }

  private:
    void Drain(int timeout_ms);
    void Reaped(int raw);
    pid_t pid_ = -1;
    std::unique_ptr<ChildRegistration> registration_;
    int output_fd_ = -1;
    std::optional<int> status_;
    std::string output_;
};

struct Captured {
    std::optional<int> status; // none when the time ran out (the child was stopped)
    std::string output;        // standard output and error together
};

// Runs a child to its end, capturing what it prints. Throws std::runtime_error when it cannot
// be started.
Captured RunCaptured(const ChildCommand& command, std::chrono::milliseconds timeout,
                     const std::atomic<bool>* stop = nullptr);
