// Helpers for the authoring tool's tests: a scratch folder per test, running the built
// lmvpack binary, and the real stub.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// The real stub, or an empty path when it has not been built (the test then skips).
inline fs::path RealStub() {
    const fs::path stub = LMV_STUB_PATH;
    return fs::exists(stub) ? stub : fs::path();
}

#define LMV_REQUIRE_STUB(variable)                                                                 \
    const fs::path variable = lmvpack_test::RealStub();                                            \
    if (variable.empty()) GTEST_SKIP() << "stub not built: " << LMV_STUB_PATH

} // namespace lmvpack_test
