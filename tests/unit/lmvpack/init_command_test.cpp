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

    // Before the files exist, the only problems are the three missing member files.
    const ManifestLoad missing = LoadManifest(manifest);
    ASSERT_EQ(missing.problems.size(), 3u);
    for (const std::string& problem : missing.problems)
        EXPECT_NE(problem.find("does not exist"), std::string::npos) << problem;

    for (const char* name : {"my.scr", "my.dat", "uninstal.exe"})
        WriteText(folder / "saver" / name, "x");
    const ManifestLoad ready = LoadManifest(manifest);
    ASSERT_TRUE(ready.manifest);
    EXPECT_EQ(ready.manifest->name, "My Screen Saver");

    // A second init keeps the edited file unless told otherwise.
    WriteText(manifest, "edited");
    EXPECT_EQ(RunLmvpack(folder.path(), {"init", "saver"}).status, 2);
    EXPECT_EQ(ReadText(manifest), "edited");
    EXPECT_EQ(RunLmvpack(folder.path(), {"init", "saver", "--force"}).status, 0);
    EXPECT_NE(ReadText(manifest), "edited");
}

} // namespace
