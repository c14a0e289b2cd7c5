// Temporary files and folders that never outlive the tool. Every one lmvpack makes (a coded
// member on its way into an installer, an installer written beside its final name, the
// private folder of a signing) is named here while it exists; its owner removes it on every
// ordinary way out, and Ctrl-C, SIGTERM or SIGHUP remove whatever is still named before the
// tool ends. Children that could still write into such a folder (osslsigncode) are named too,
// and are ended first.
//
// The list is read by a signal handler, so it is made of entries that are never freed: an
// entry is taken by a compare-and-swap, filled, then published, and handed back by marking
// it free. The handler uses only calls that are safe in a signal handler (kill, waitpid,
// unlink, getdents64, rmdir), never a lock.
#pragma once

#include <filesystem>
#include <sys/types.h>

struct TemporaryEntry; // one slot of the list

// A path that is removed when this goes away (a file, or a folder with everything in it),
// and by the signal handler meanwhile. Release() hands the path over for good (a finished
// output renamed to its final name): it is then neither removed nor named any longer.
class TemporaryPath {
  public:
    enum class Kind { File, Folder };
    TemporaryPath() = default;
    TemporaryPath(std::filesystem::path path, Kind kind);
    ~TemporaryPath();
    TemporaryPath(TemporaryPath&& other) noexcept;
    TemporaryPath& operator=(TemporaryPath&& other) noexcept;
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void Release();

  private:
    void Remove();
    std::filesystem::path path_;
    Kind kind_ = Kind::File;
    TemporaryEntry* entry_ = nullptr;
};

// A running child process (its own process group), ended by the signal handler before it
// removes the temporary paths. Registered by Child (process/child_process.h).
class ChildRegistration {
  public:
    explicit ChildRegistration(pid_t pid);
    ~ChildRegistration();
    ChildRegistration(const ChildRegistration&) = delete;
    ChildRegistration& operator=(const ChildRegistration&) = delete;

  private:
    TemporaryEntry* entry_ = nullptr;
};

// Installs the handlers for SIGINT, SIGTERM and SIGHUP (on Windows: the console's Ctrl-C and
// Ctrl-Break): they end the named children, remove the named paths and then end the tool as
// the signal would have. Called once, first thing in main().
void RemoveTemporariesOnSignals();
