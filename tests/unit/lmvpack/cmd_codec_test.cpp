// lmvpack encode / decode, run as the built tool.
#include "lmvpack/lmvpack_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using lmvpack_test::ReadBytes;
using lmvpack_test::RunLmvpack;
using lmvpack_test::ScratchFolder;

class CodecCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string text;
        for (int i = 0; text.size() < 20000; ++i)
            text += "line " + std::to_string(i % 97) + " of the agreement\r\n";
        input_.assign(text.begin(), text.end());
        lmvpack_test::WriteBytes(folder_ / "in.txt", input_);
    }

    ScratchFolder folder_;
    std::vector<uint8_t> input_;
};

TEST_F(CodecCommandsTest, EncodePrintsTheSizeAndDecodeRestoresTheFile) {
    for (const std::string level : {"fast", "default", "best"}) {
        auto result = RunLmvpack(folder_.path(), {"encode", "--level", level, "in.txt", "in.lmz"});
        ASSERT_EQ(result.status, 0) << result.err;
        const uintmax_t coded = std::filesystem::file_size(folder_ / "in.lmz");
        EXPECT_EQ(result.out, std::to_string(coded) + "\n") << level;
        EXPECT_LT(coded, input_.size() / 4) << level;

        result = RunLmvpack(folder_.path(), {"decode", "--size", std::to_string(input_.size()),
                                             "in.lmz", "out.txt"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(ReadBytes(folder_ / "out.txt"), input_) << level;
    }
}

TEST_F(CodecCommandsTest, DecodeRestoresExactlyTheSizeAsked) {
    auto result = RunLmvpack(folder_.path(), {"encode", "in.txt", "in.lmz"});
    ASSERT_EQ(result.status, 0) << result.err;
    result = RunLmvpack(folder_.path(), {"decode", "--size", "1000", "in.lmz", "part.txt"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadBytes(folder_ / "part.txt"),
              std::vector<uint8_t>(input_.begin(), input_.begin() + 1000));
}

TEST_F(CodecCommandsTest, BadUsageAndMissingFilesFail) {
    EXPECT_EQ(RunLmvpack(folder_.path(), {"encode", "--level", "fastest", "in.txt", "x"}).status,
              2);
    EXPECT_EQ(RunLmvpack(folder_.path(), {"decode", "in.txt", "x"}).status, 2); // no --size
    const auto missing = RunLmvpack(folder_.path(), {"encode", "missing", "x"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing"), std::string::npos);
    // The installer restores nothing of a member of 2 GiB or more: refused, not faked.
    EXPECT_EQ(RunLmvpack(folder_.path(), {"decode", "--size", "3000000000", "in.txt", "x"}).status,
              1);
}

} // namespace
