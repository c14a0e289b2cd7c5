// lmvpack's command line: its version, and what a mistyped command or option gets.
#include "lmvpack_runner.h"

namespace {

using namespace lmvpack_test;

TEST(CommandLine, TellsItsVersion) {
    ScratchFolder folder;
    const RunResult version = RunLmvpack(folder.path(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("lmvpack ") + LMV_VERSION_FOR_TESTS + "\n");
}

TEST(CommandLine, SuggestsTheCommandOrOptionThatWasMeant) {
    ScratchFolder folder;
    const RunResult command = RunLmvpack(folder.path(), {"biuld", "m.toml", "-o", "x.exe"});
    EXPECT_EQ(command.status, 2);
    EXPECT_NE(command.err.find("\"biuld\" is not a command; did you mean \"build\"?"),
              std::string::npos)
        << command.err;
    EXPECT_NE(command.err.find("init, build, list"), std::string::npos) << command.err;

    const RunResult far = RunLmvpack(folder.path(), {"frobnicate"});
    EXPECT_EQ(far.status, 2);
    EXPECT_NE(far.err.find("\"frobnicate\" is not a command\n"), std::string::npos) << far.err;

    WriteText(folder / "m.toml", "name = \"A\"\n");
    const RunResult option =
        RunLmvpack(folder.path(), {"build", "m.toml", "-o", "x.exe", "--levle", "best"});
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.err.find("lmvpack build: --levle is not an option of this command; did you "
                              "mean \"--level\"?"),
              std::string::npos)
        << option.err;
    EXPECT_FALSE(fs::exists(folder / "x.exe"));

    // Without a near option, CLI11's own words stay.
    const RunResult extra = RunLmvpack(folder.path(), {"list", "a.exe", "b.exe"});
    EXPECT_EQ(extra.status, 2);
    EXPECT_NE(extra.err.find("b.exe"), std::string::npos) << extra.err;
}

} // namespace
