// lmvpack init: a starter manifest that lmvpack itself reads, and no overwriting by accident.
#include "lmvpack_runner.h"

#include "tools/lmvpack/manifest.h"

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

    WriteText(folder / "saver" / "my.scr", "x");
    const ManifestLoad ready = LoadManifest(manifest);
    ASSERT_TRUE(ready.manifest);
    EXPECT_EQ(ready.manifest->name, "My Screen Saver");
    EXPECT_TRUE(ready.manifest->members[1].builtin);
    EXPECT_TRUE(ready.manifest->members[2].builtin);

    // A second init keeps the edited file unless told otherwise.
    WriteText(manifest, "edited");
    EXPECT_EQ(RunLmvpack(folder.path(), {"init", "saver"}).status, 2);
    EXPECT_EQ(ReadText(manifest), "edited");
    EXPECT_EQ(RunLmvpack(folder.path(), {"init", "saver", "--force"}).status, 0);
    EXPECT_NE(ReadText(manifest), "edited");
}

} // namespace
