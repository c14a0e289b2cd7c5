#include "tools/lmvpack/process/child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::vector<std::string> ChildEnvironment(const ChildCommand& command) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        const bool replaced = std::find(command.unset_env.begin(), command.unset_env.end(), name) !=
                                  command.unset_env.end() ||
                              std::any_of(command.set_env.begin(), command.set_env.end(),
                                          [&](const auto& pair) { return pair.first == name; });
        if (!replaced) env.push_back(text);
    }
    for (const auto& [name, value] : command.set_env)
        env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

int StatusOf(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return 255;
}

} // namespace

std::optional<fs::path> FindOnPath(const std::string& program) {
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0 ? std::optional<fs::path>(program)
                                                    : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / program;
        std::error_code error;
        if (fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

Child::Child(const ChildCommand& command, bool capture_output) {
    if (command.argv.empty()) throw std::runtime_error("no program to run");
    const std::optional<fs::path> program = FindOnPath(command.argv[0]);
    if (!program)
        throw std::runtime_error(command.argv[0] + " is not installed (not found on PATH)");
    std::vector<std::string> argv = command.argv;
    std::vector<std::string> env = ChildEnvironment(command);
    std::vector<char*> argv_pointers = Pointers(argv), env_pointers = Pointers(env);
    const std::string program_path = program->string();

    int output[2] = {-1, -1};
    if (capture_output && ::pipe2(output, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    // The child reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const int file_fd =
        command.output_file.empty()
            ? -1
            : ::open(command.output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t parent = ::getpid();
    // Everything else lmvpack has open is closed in the child; the report pipe closes itself
    // when the program starts.
    std::vector<int> keep = command.keep_fds;
    keep.push_back(report[1]);
    std::sort(keep.begin(), keep.end());

    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        const int out = output[1] >= 0 ? output[1] : file_fd >= 0 ? file_fd : null_fd;
        ::dup2(null_fd, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        for (const int fd : command.keep_fds) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0) ::fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC);
        }
        unsigned from = 3;
        for (const int fd : keep) {
            if (static_cast<unsigned>(fd) > from)
                ::close_range(from, static_cast<unsigned>(fd) - 1, 0);
            from = std::max(from, static_cast<unsigned>(fd) + 1);
        }
        ::close_range(from, ~0u, 0);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(program_path.c_str(), argv_pointers.data(), env_pointers.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t written = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    const int fork_error = errno;
    ::close(report[1]);
    if (output[1] >= 0) ::close(output[1]);
    if (null_fd >= 0) ::close(null_fd);
    if (file_fd >= 0) ::close(file_fd);
    if (pid_ < 0) {
        ::close(report[0]);
        if (output[0] >= 0) ::close(output[0]);
        throw std::runtime_error("cannot start " + command.argv[0] + ": " +
                                 std::strerror(fork_error));
    }
    // Set from this side too, so that a signal sent before the child ran reaches its group.
    ::setpgid(pid_, pid_);
    registration_ = std::make_unique<ChildRegistration>(pid_);
    int exec_error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &exec_error, sizeof exec_error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    output_fd_ = output[0];
    if (got == sizeof exec_error) {
        Poll();
        while (!status_)
            Wait(std::chrono::milliseconds(1000));
        throw std::runtime_error("cannot start " + program_path + ": " + std::strerror(exec_error));
    }
}

Child::~Child() {
    if (!status_ && pid_ > 0) Stop();
    if (output_fd_ >= 0) ::close(output_fd_);
}

std::optional<int> Child::Poll() {
    if (status_ || pid_ <= 0) return status_;
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) == pid_) Reaped(raw);
    return status_;
}

void Child::Reaped(int raw) {
    status_ = StatusOf(raw);
    registration_.reset(); // its number may now go to another process
}

void Child::Drain(int timeout_ms) {
    if (output_fd_ < 0) {
        if (timeout_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
        return;
    }
    pollfd entry{output_fd_, POLLIN, 0};
    if (::poll(&entry, 1, timeout_ms) <= 0) return;
    char buffer[4096];
    const ssize_t got = ::read(output_fd_, buffer, sizeof buffer);
    if (got > 0) {
        output_.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
        ::close(output_fd_);
        output_fd_ = -1;
    }
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout, const std::atomic<bool>* stop) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!Poll()) {
        if (stop && *stop) return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        // A child's end is checked at least every 50 ms; its output is read as it comes.
        Drain(static_cast<int>(std::min<long long>(left.count(), 50)));
    }
    // What the child wrote before it ended is waiting in the pipe; a process it left behind
    // (wineserver) may keep the pipe open, so read only what is there.
    for (size_t before = output_.size() + 1; output_fd_ >= 0 && before != output_.size();) {
        before = output_.size();
        Drain(0);
    }
    return status_;
}

void Child::Stop(std::chrono::milliseconds grace) {
    if (Poll() || pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    if (!Wait(grace)) {
        ::kill(-pid_, SIGKILL);
        int raw = 0;
        if (::waitpid(pid_, &raw, 0) == pid_) Reaped(raw);
    }
}

Captured RunCaptured(const ChildCommand& command, std::chrono::milliseconds timeout,
                     const std::atomic<bool>* stop) {
    Child child(command, true);
    Captured result;
    result.status = child.Wait(timeout, stop);
    if (!result.status) child.Stop();
    result.output = child.output();
    return result;
}
