// lmvpack encode / decode, run as the built tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs lmvpack with `arguments`; returns its exit status and what it printed.
int RunTool(const std::string& arguments, std::string* output) {
    const std::string command = std::string(LMV_LMVPACK_PATH) + " " + arguments + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return -1;
    char buffer[256];
    output->clear();
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        *output += buffer;
    const int status = ::pclose(pipe.release());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CodecCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() / ("lmv-codec-cli-" + std::to_string(::getpid()));
        fs::create_directories(directory_);
        std::string text;
        for (int i = 0; text.size() < 20000; ++i)
            text += "line " + std::to_string(i % 97) + " of the agreement\r\n";
        input_.assign(text.begin(), text.end());
        std::ofstream(directory_ / "in.txt", std::ios::binary)
            .write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    void TearDown() override { fs::remove_all(directory_); }

    std::string Path(const char* name) const { return "'" + (directory_ / name).string() + "'"; }

    fs::path directory_;
    std::vector<uint8_t> input_;
};

TEST_F(CodecCommandsTest, EncodePrintsTheSizeAndDecodeRestoresTheFile) {
    for (const char* level : {"fast", "default", "best"}) {
        std::string output;
        ASSERT_EQ(RunTool(std::string("encode --level ") + level + " " + Path("in.txt") + " " +
                              Path("in.lmz"),
                          &output),
                  0)
            << output;
        const uintmax_t coded = fs::file_size(directory_ / "in.lmz");
        EXPECT_EQ(output, std::to_string(coded) + "\n") << level;
        EXPECT_LT(coded, input_.size() / 4) << level;

        ASSERT_EQ(RunTool("decode --size " + std::to_string(input_.size()) + " " + Path("in.lmz") +
                              " " + Path("out.txt"),
                          &output),
                  0)
            << output;
        EXPECT_EQ(ReadFile(directory_ / "out.txt"), input_) << level;
    }
}

TEST_F(CodecCommandsTest, DecodeRestoresExactlyTheSizeAsked) {
    std::string output;
    ASSERT_EQ(RunTool("encode " + Path("in.txt") + " " + Path("in.lmz"), &output), 0) << output;
    ASSERT_EQ(RunTool("decode --size 1000 " + Path("in.lmz") + " " + Path("part.txt"), &output), 0)
        << output;
    EXPECT_EQ(ReadFile(directory_ / "part.txt"),
              std::vector<uint8_t>(input_.begin(), input_.begin() + 1000));
}

TEST_F(CodecCommandsTest, BadUsageAndMissingFilesFail) {
    std::string output;
    EXPECT_EQ(RunTool("encode --level fastest " + Path("in.txt") + " " + Path("x"), &output), 2);
    EXPECT_EQ(RunTool("decode " + Path("in.txt") + " " + Path("x"), &output), 2); // no --size
    EXPECT_EQ(RunTool("encode " + Path("missing") + " " + Path("x"), &output), 1);
    EXPECT_NE(output.find("missing"), std::string::npos);
    EXPECT_EQ(RunTool("decode --size 3000000000 " + Path("in.txt") + " " + Path("x"), &output), 1);
}

} // namespace
