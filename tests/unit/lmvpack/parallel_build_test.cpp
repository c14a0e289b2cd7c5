// lmvpack build compresses its members on several threads: the installer is the same byte for
// byte whatever their number, a member that fails stops the build and leaves nothing behind,
// and the progress it reports only moves forward, to its end.
#include "lmvpack_runner.h"
#include "support/test_bytes.h"

#include "tools/lmvpack/builder/installer_builder.h"
#include "tools/lmvpack/manifest/manifest.h"
#include "tools/lmvpack/support/tool_error.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

using namespace lmvpack_test;

std::vector<uint8_t> Words(size_t size, unsigned seed) {
    static const char* const kWords[] = {"aurora ", "night ", "sky ", "green ", "\r\n", "light "};
    return WordText(size, seed, kWords);
}

// Members whose work differs by a factor of a hundred, so that they finish out of order: a
// large one first, stored ones among them, one that compression does not shrink.
void WriteMembers(const fs::path& folder) {
    WriteBytes(folder / "saver.scr", ProgramBytes(Words(600'000, 1)));
    WriteBytes(folder / "saver.dat", Words(20'000, 2));
    WriteBytes(folder / "uninstal.exe", ProgramBytes(RandomBytes(3000, 3)));
    WriteBytes(folder / "noise.wav", RandomBytes(100'000, 4));
    WriteBytes(folder / "theme.mid", Words(150'000, 5));
    WriteBytes(folder / "intro.avi", Words(60'000, 6));
    WriteText(folder / "m.toml", "name = \"Parallel\"\n"
                                 "screensaver = \"saver.scr\"\ndata = \"saver.dat\"\n"
                                 "[uninstaller]\nfile = \"uninstal.exe\"\ncompress = false\n"
                                 "[[media]]\nfile = \"noise.wav\"\n"
                                 "[[media]]\nfile = \"theme.mid\"\ncompress = true\n"
                                 "[[media]]\nfile = \"intro.avi\"\n");
}

TEST(ParallelBuild, TheInstallerIsTheSameWhateverTheNumberOfJobs) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteMembers(folder.path());
    for (const auto& [level, job_counts] :
         {std::pair<std::string, std::vector<std::string>>{"fast", {"2", "3", "8"}},
          {"best", {"2"}}}) {
        const RunResult alone =
            RunLmvpack(folder.path(), {"build", "m.toml", "-o", "one.exe", "--stub", stub.string(),
                                       "--level", level, "--jobs", "1", "--quiet"});
        ASSERT_EQ(alone.status, 0) << alone.err;
        const std::vector<uint8_t> expected = ReadBytes(folder / "one.exe");
        for (const std::string& jobs : job_counts) {
            const RunResult together = RunLmvpack(
                folder.path(), {"build", "m.toml", "-o", "many.exe", "--stub", stub.string(),
                                "--level", level, "--jobs", jobs, "--quiet"});
            ASSERT_EQ(together.status, 0) << together.err;
            EXPECT_TRUE(ReadBytes(folder / "many.exe") == expected) << level << ", " << jobs;
        }
        EXPECT_EQ(RunLmvpack(folder.path(), {"verify", "one.exe"}).status, 0) << level;
    }
    EXPECT_EQ(RunLmvpack(folder.path(), {"build", "m.toml", "-o", "x.exe", "--jobs", "0"}).status,
              2);
}

struct Report {
    uint64_t done, total;
    std::string label;
};

class BuildInProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        stub_ = RealStub();
        if (stub_.empty()) GTEST_SKIP() << "stub not built: " << LMV_STUB_PATH;
        WriteMembers(folder_.path());
        // Scratch files go to the temporary folder: one of the test's own, to see that none
        // is left behind.
        fs::create_directory(folder_ / "tmp");
        const char* previous = std::getenv("TMPDIR");
        previous_tmpdir_ = previous ? previous : "";
        had_tmpdir_ = previous != nullptr;
        ::setenv("TMPDIR", (folder_ / "tmp").c_str(), 1);
        const ManifestLoad load = LoadManifest(folder_ / "m.toml");
        ASSERT_TRUE(load.manifest);
        manifest_ = *load.manifest;
    }
    void TearDown() override {
        if (had_tmpdir_)
            ::setenv("TMPDIR", previous_tmpdir_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    ScratchFolder folder_;
    fs::path stub_;
    Manifest manifest_;
    std::string previous_tmpdir_;
    bool had_tmpdir_ = false;
};

TEST_F(BuildInProcess, ProgressOnlyMovesForwardAndEndsAtItsTotal) {
    std::vector<Report> reports;
    const BuiltInstaller built =
        BuildInstaller(manifest_, stub_, folder_ / "Setup.exe", {CompressionLevel::Best, 2},
                       [&](uint64_t done, uint64_t total, const std::string& label) {
                           reports.push_back({done, total, label});
                       });
    ASSERT_FALSE(reports.empty());
    std::set<std::string> written;
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report& report = reports[i];
        EXPECT_EQ(report.total, reports.front().total) << i;
        EXPECT_LE(report.done, report.total) << i << ": " << report.label;
        if (i > 0) {
            EXPECT_GE(report.done, reports[i - 1].done) << i << ": " << report.label;
        }
        // At most two members at once, each named by its key and file.
        if (report.label.starts_with("compressing ")) {
            EXPECT_LE(std::count(report.label.begin(), report.label.end(), ','), 1) << report.label;
            EXPECT_TRUE(report.label.find("screensaver saver.scr") != std::string::npos ||
                        report.label.find("media #") != std::string::npos ||
                        report.label.find("data saver.dat") != std::string::npos)
                << report.label;
        }
        if (report.label.starts_with("writing ")) written.insert(report.label.substr(8));
    }
    EXPECT_EQ(reports.back().done, reports.back().total);
    EXPECT_EQ(written.size(), manifest_.members.size());
    EXPECT_EQ(built.size, fs::file_size(folder_ / "Setup.exe"));
    EXPECT_TRUE(fs::is_empty(folder_ / "tmp"));
}

TEST_F(BuildInProcess, AMemberThatFailsEndsTheBuildAndLeavesNothing) {
    // Two large members take both threads for far longer than the first report comes (a
    // tenth of a second); meanwhile a small member still waiting is emptied, and fails when
    // its turn comes.
    WriteBytes(folder_ / "saver.scr", RandomBytes(4'000'000, 7));
    WriteBytes(folder_ / "theme.mid", RandomBytes(4'000'000, 8));
    bool emptied = false;
    try {
        BuildInstaller(manifest_, stub_, folder_ / "Setup.exe", {CompressionLevel::Best, 2},
                       [&](uint64_t, uint64_t, const std::string& label) {
                           if (emptied || !label.starts_with("compressing ")) return;
                           WriteText(folder_ / "intro.avi", "");
                           emptied = true;
                       });
        ADD_FAILURE() << "the build went through";
    } catch (const BuildError& error) {
        EXPECT_NE(std::string(error.what()).find("intro.avi: is empty now"), std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(emptied);
    EXPECT_FALSE(fs::exists(folder_ / "Setup.exe"));
    EXPECT_TRUE(fs::is_empty(folder_ / "tmp"));
    for (const auto& entry : fs::directory_iterator(folder_.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".Setup.exe")) << entry.path();
}

} // namespace
