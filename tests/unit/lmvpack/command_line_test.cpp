// lmvpack's command line: its version, its help, and what a mistyped command or option gets.
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

// Every command's help ends with an example, and the help names documents where they are:
// in the source tree for a tool run from its build, in share/doc/lmvpack/docs for an installed one.
TEST(CommandLine, EveryHelpHasAnExampleAndNamesDocumentsThatExist) {
    ScratchFolder folder;
    const RunResult top = RunLmvpack(folder.path(), {"--help"});
    ASSERT_EQ(top.status, 0);
    for (const std::string name : {"init", "build", "list", "info", "extract", "verify", "preview",
                                   "encode", "decode", "sign", "try"}) {
        const RunResult help = RunLmvpack(folder.path(), {name, "--help"});
        EXPECT_EQ(help.status, 0) << name;
        const size_t example = help.out.find("Example:\n  ");
        ASSERT_NE(example, std::string::npos) << name << ":\n" << help.out;
        const std::string line =
            help.out.substr(example, help.out.find('\n', example + 10) - example);
        EXPECT_NE(line.find("lmvpack " + name + " "), std::string::npos) << name << ": " << line;
    }
    const auto named_document = [](const std::string& help, const std::string& document) {
        const size_t end = help.find(document);
        if (end == std::string::npos) return std::string();
        const size_t start = help.rfind(' ', end) + 1;
        return help.substr(start, end + document.size() - start);
    };
    const std::string manifest = named_document(top.out, "manifest.md");
    EXPECT_TRUE(fs::path(manifest).is_absolute() && fs::is_regular_file(manifest)) << top.out;
    const std::string signing =
        named_document(RunLmvpack(folder.path(), {"sign", "--help"}).out, "signing.md");
    EXPECT_TRUE(fs::path(signing).is_absolute() && fs::is_regular_file(signing)) << signing;

    // Installed: prefix/bin/lmvpack finds prefix/share/doc/lmvpack/docs/manifest.md first.
    fs::create_directories(folder / "prefix/bin");
    fs::copy_file(LMV_LMVPACK_PATH, folder / "prefix/bin/lmvpack");
    WriteText(folder / "prefix/share/doc/lmvpack/docs/manifest.md", "# The lmvpack manifest\n");
    const std::string command = "'" + (folder / "prefix/bin/lmvpack").string() + "' --help >'" +
                                (folder / "help.txt").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(fs::path(named_document(ReadText(folder / "help.txt"), "manifest.md")),
              folder / "prefix/share/doc/lmvpack/docs/manifest.md")
        << ReadText(folder / "help.txt");
}

} // namespace
