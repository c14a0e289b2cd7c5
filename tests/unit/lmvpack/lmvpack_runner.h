// Helpers for the authoring tool's tests: a scratch folder per test, running the built
// lmvpack binary, and the real stub.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace lmvpack_test {

namespace fs = std::filesystem;

// A fresh, empty folder named after the running test, removed afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() / (std::string("lmvpack-") + info->test_suite_name() +
                                             "-" + info->name() + "-" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

inline void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const fs::path& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

inline std::string ReadText(const fs::path& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A file that reads as a 32-bit Windows program (the headers a loader looks at first, no
// sections) followed by `body`: what lmvpack takes as a screen saver or an uninstaller.
inline std::string ProgramText(const std::string& body) {
    std::string headers(0x40 + 24 + 224, '\0');
    headers[0] = 'M';
    headers[1] = 'Z';
    headers[0x3C] = 0x40;
    headers.replace(0x40, 4, std::string("PE\0\0", 4));
    headers[0x44] = 0x4C; // i386
    headers[0x45] = 0x01;
    headers[0x54] = static_cast<char>(224); // optional header size
    headers[0x56] = 0x02;                   // an executable image
    headers[0x58] = 0x0B;                   // PE32
    headers[0x59] = 0x01;
    return headers + body;
}

inline std::vector<uint8_t> ProgramBytes(const std::vector<uint8_t>& body) {
    const std::string text = ProgramText(std::string(body.begin(), body.end()));
    return std::vector<uint8_t>(text.begin(), text.end());
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs lmvpack with `arguments` (each quoted for the shell) inside `folder`.
inline RunResult RunLmvpack(const fs::path& folder, const std::vector<std::string>& arguments) {
    std::string command = std::string("cd '") + folder.string() + "' && '" + LMV_LMVPACK_PATH + "'";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    command += " >'" + (folder / ".out").string() + "' 2>'" + (folder / ".err").string() + "'";
    const int raw = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadText(folder / ".out");
    result.err = ReadText(folder / ".err");
    fs::remove(folder / ".out");
    fs::remove(folder / ".err");
    return result;
}

// lmvpack running in the background, for tests that stop it halfway: output goes to files in
// `folder`, `environment` adds to (or, with an empty value, removes from) the test's own.
class BackgroundLmvpack {
  public:
    BackgroundLmvpack(const fs::path& folder, const std::vector<std::string>& arguments,
                      const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        if (::chdir(folder.c_str()) != 0) ::_exit(127);
        for (const auto& [name, value] : environment)
            value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
        std::FILE* out = std::freopen((folder / ".out").c_str(), "w", stdout);
        std::FILE* err = std::freopen((folder / ".err").c_str(), "w", stderr);
        if (!out || !err) ::_exit(127);
        std::vector<char*> argv = {const_cast<char*>(LMV_LMVPACK_PATH)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(LMV_LMVPACK_PATH, argv.data());
        ::_exit(127);
    }
    ~BackgroundLmvpack() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    BackgroundLmvpack(const BackgroundLmvpack&) = delete;
    BackgroundLmvpack& operator=(const BackgroundLmvpack&) = delete;

    // Polls `condition` until it holds, or `seconds` pass, or lmvpack ends; whether it holds.
    template <typename Condition> bool WaitUntil(Condition condition, int seconds) {
        for (int tenth = 0; tenth < seconds * 100; ++tenth) {
            if (condition()) return true;
            if (Ended()) return condition();
            ::usleep(10000);
        }
        return condition();
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // The raw wait status once ended within `seconds`, or -1.
    int Wait(int seconds) {
        WaitUntil([&] { return Ended(); }, seconds);
        return status_ ? *status_ : -1;
    }

  private:
    bool Ended() {
        int raw = 0;
        if (!status_ && ::waitpid(pid_, &raw, WNOHANG) == pid_) status_ = raw;
        return status_.has_value();
    }
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// The real stub, or an empty path when it has not been built (the test then skips).
inline fs::path RealStub() {
    const fs::path stub = LMV_STUB_PATH;
    return fs::exists(stub) ? stub : fs::path();
}

#define LMV_REQUIRE_STUB(variable)                                                                 \
    const fs::path variable = lmvpack_test::RealStub();                                            \
    if (variable.empty()) GTEST_SKIP() << "stub not built: " << LMV_STUB_PATH

} // namespace lmvpack_test
