// lmvpack init: a starter manifest that lmvpack itself reads, and no overwriting by accident.
#include "lmvpack_runner.h"

#include "tools/lmvpack/manifest/manifest.h"

namespace {

using namespace lmvpack_test;

TEST(InitCommand, WritesAStarterThatNeedsOnlyTheMemberFiles) {
    ScratchFolder folder;
    const RunResult init = RunLmvpack(folder.path(), {"init", "saver"});
    ASSERT_EQ(init.status, 0) << init.err;
    EXPECT_NE(init.out.find("lmvpack build"), std::string::npos) << init.out;
    const fs::path manifest = folder / "saver/screensaver.toml";

    // Before the screen saver exists, its file is the only problem: lmvpack supplies the data
    // file and the uninstaller.
    const ManifestLoad missing = LoadManifest(manifest);
    ASSERT_EQ(missing.problems.size(), 1u);
    EXPECT_NE(missing.problems[0].find("screensaver: \"" + (folder / "saver/my.scr").string() +
                                       "\" does not exist"),
              std::string::npos)
        << missing.problems[0];

    WriteText(folder / "saver" / "my.scr", ProgramText("x"));
    const ManifestLoad ready = LoadManifest(manifest);
    ASSERT_TRUE(ready.manifest);
    EXPECT_EQ(ready.manifest->name, "Northern Lights");
    EXPECT_TRUE(ready.manifest->members[1].builtin);
    EXPECT_TRUE(ready.manifest->members[2].builtin);
    // Nothing to warn about: in particular no name that repeats the "Screen Saver" the
    // installer adds to it.
    EXPECT_TRUE(ready.warnings.empty()) << ready.warnings.front();

    // A second init keeps the edited file unless told otherwise.
    WriteText(manifest, "edited");
    EXPECT_EQ(RunLmvpack(folder.path(), {"init", "saver"}).status, 2);
    EXPECT_EQ(ReadText(manifest), "edited");
    EXPECT_EQ(RunLmvpack(folder.path(), {"init", "saver", "--force"}).status, 0);
    EXPECT_NE(ReadText(manifest), "edited");
}

// Replaces the one line of `text` that starts with `start` by `replacement`.
std::string ReplaceLine(const std::string& text, const std::string& start,
                        const std::string& replacement) {
    const size_t at = text.find("\n" + start);
    EXPECT_NE(at, std::string::npos) << start;
    if (at == std::string::npos) return text;
    const size_t end = text.find('\n', at + 1);
    return text.substr(0, at + 1) + replacement + text.substr(end);
}

// The edits the starter's comments suggest, made where the comments stand.
TEST(InitCommand, TheStartersAdviceWorksWhereItStands) {
    ScratchFolder folder;
    ASSERT_EQ(RunLmvpack(folder.path(), {"init"}).status, 0);
    const fs::path manifest = folder / "screensaver.toml";
    for (const char* name : {"my.dat", "license.txt", "theme.mid"})
        WriteText(folder / name, "x");
    for (const char* name : {"my.scr", "uninstal.exe"})
        WriteText(folder / name, ProgramText("x"));
    const std::string starter = ReadText(manifest);

    // A member with its own compress setting written as the comment shows it, the optional
    // keys switched on, and the media example filled in.
    const std::vector<std::pair<std::string, std::string>> edits = {
        {"screensaver = ", "screensaver = { file = \"my.scr\", compress = false }"},
        {"# agreement = ", "agreement = \"license.txt\""},
        {"# data = ", "data = \"my.dat\""},
        {"# uninstaller = ", "uninstaller = \"uninstal.exe\""},
        {"# [[media]]", "[[media]]"},
        {"# file = ", "file = \"theme.mid\""},
        {"# suffix = ", "suffix = \".MID\""},
        {"# prefix = ", "prefix = \"FILE\""},
        {"# icon = ", "icon = \"my.ico\""},
        {"# [version]", "[version]"},
        {"# product = ", "product = \"My Saver\""},
        {"# version = ", "version = \"1.2.3.4\""},
        {"# company = ", "company = \"My Company\""},
        {"# copyright = ", "copyright = \"(c) My Company\""}};
    std::string edited = starter;
    for (const auto& [line, replacement] : edits)
        edited = ReplaceLine(edited, line, replacement);
    fs::copy_file(fs::path(LMV_SOURCE_DIR) / "resources" / "lmvstub.ico", folder / "my.ico");
    WriteText(manifest, edited);
    const ManifestLoad load = LoadManifest(manifest);
    ASSERT_TRUE(load.manifest) << (load.problems.empty() ? "" : load.problems.front()) << edited;
    EXPECT_EQ(load.manifest->members.size(), 4u);
    EXPECT_EQ(load.manifest->members[0].compress, CompressChoice::Never);
    EXPECT_FALSE(load.manifest->members[1].builtin);
    EXPECT_FALSE(load.manifest->members[2].builtin);
    EXPECT_EQ(load.manifest->members[3].name_suffix, ".MID");
    EXPECT_FALSE(load.manifest->agreement_text.empty());
    EXPECT_EQ(load.manifest->icon.filename(), "my.ico");
    ASSERT_TRUE(load.manifest->version);
    EXPECT_EQ(load.manifest->version->version, "1.2.3.4");
    EXPECT_EQ(load.manifest->version->copyright, "(c) My Company");

    // The member made a [table] where it stands takes the keys below it: the author is told
    // to move the table to the end.
    const std::string with_data = ReplaceLine(starter, "# data = ", "data = \"my.dat\"");
    WriteText(manifest,
              ReplaceLine(with_data, "screensaver = ", "[screensaver]\nfile = \"my.scr\""));
    const ManifestLoad swallowed = LoadManifest(manifest);
    ASSERT_FALSE(swallowed.problems.empty());
    for (const std::string& problem : swallowed.problems)
        EXPECT_NE(problem.find("move the [screensaver] table to the end of the file"),
                  std::string::npos)
            << problem;
}

} // namespace
