// Members lmvpack supplies itself: an author with nothing but a .scr builds a whole installer,
// whose data file is the placeholder and whose uninstaller is lmvpack's own.
#include "lmvpack_runner.h"

#include "tools/lmvpack/builder/builtin_members.h"
#include "tools/lmvpack/manifest/manifest.h"
#include "tools/lmvpack/support/tool_error.h"

namespace {

using namespace lmvpack_test;

ManifestLoad Load(const ScratchFolder& folder, const std::string& members) {
    WriteText(folder / "s.scr", ProgramText("screen saver"));
    WriteText(folder / "m.toml", "name = \"Aurora\"\nscreensaver = \"s.scr\"\n" + members);
    return LoadManifest(folder / "m.toml");
}

TEST(BuiltinMembers, NoFileOrBuiltinChoosesLmvpacksOwn) {
    ScratchFolder folder;
    const ManifestLoad bare = Load(folder, "");
    ASSERT_TRUE(bare.manifest);
    ASSERT_EQ(bare.manifest->members.size(), 3u);
    EXPECT_FALSE(bare.manifest->members[0].builtin);
    EXPECT_TRUE(bare.manifest->members[1].builtin);
    EXPECT_TRUE(bare.manifest->members[2].builtin);

    const ManifestLoad named =
        Load(folder, "data = \"builtin\"\n"
                     "[uninstaller]\nfile = \"builtin\"\ncompress = false\n");
    ASSERT_TRUE(named.manifest);
    EXPECT_TRUE(named.manifest->members[1].builtin);
    EXPECT_TRUE(named.manifest->members[2].builtin);
    EXPECT_EQ(named.manifest->members[2].compress, CompressChoice::Never);

    // The screen saver has no built-in stand-in: "builtin" is a file name there.
    WriteText(folder / "m.toml", "name = \"Aurora\"\nscreensaver = \"builtin\"\n");
    const ManifestLoad no_screen_saver = LoadManifest(folder / "m.toml");
    ASSERT_EQ(no_screen_saver.problems.size(), 1u);
    EXPECT_NE(no_screen_saver.problems[0].find("does not exist"), std::string::npos);

    // A file that happens to be called "builtin" is named with its folder.
    WriteText(folder / "builtin", ProgramText("own uninstaller"));
    const ManifestLoad own = Load(folder, "uninstaller = \"./builtin\"\n");
    ASSERT_TRUE(own.manifest);
    EXPECT_FALSE(own.manifest->members[2].builtin);
    EXPECT_EQ(own.manifest->members[2].file, folder / "./builtin");
}

TEST(BuiltinMembers, ResolvingNamesTheFilesOrWhatIsMissing) {
    ScratchFolder folder;
    ManifestLoad load = Load(folder, "");
    ASSERT_TRUE(load.manifest);
    WriteText(folder / "lmvuninst.exe", ProgramText("uninstaller"));
    ResolveBuiltinMembers(*load.manifest, folder / "lmvuninst.exe");
    EXPECT_EQ(load.manifest->members[2].file, folder / "lmvuninst.exe");
    // The placeholder comes from the tool's data (here: the source tree the tool was built from).
    EXPECT_EQ(ReadText(load.manifest->members[1].file),
              "This screen saver keeps no data of its own.\r\n");

    ManifestLoad again = Load(folder, "");
    WriteText(folder / "empty.exe", "");
    EXPECT_THROW(ResolveBuiltinMembers(*again.manifest, folder / "empty.exe"), BuildError);
    EXPECT_THROW(ResolveBuiltinMembers(*again.manifest, folder / "absent.exe"), BuildError);
}

TEST(BuiltinMembers, AnInstallerFromAScreenSaverAlone) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    ASSERT_EQ(RunLmvpack(folder.path(), {"init", "."}).status, 0);
    WriteText(folder / "my.scr", ProgramText("the author's screen saver"));
    WriteText(folder / "lmvuninst.exe", ProgramText("lmvpack's uninstaller"));
    const RunResult build =
        RunLmvpack(folder.path(), {"build", "screensaver.toml", "-o", "Setup.exe", "--stub",
                                   stub.string(), "--uninstaller", "lmvuninst.exe", "--quiet"});
    ASSERT_EQ(build.status, 0) << build.err;
    const RunResult extract = RunLmvpack(folder.path(), {"extract", "Setup.exe", "-o", "out"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadText(folder / "out" / "Northern Lights.scr"),
              ProgramText("the author's screen saver"));
    EXPECT_EQ(ReadText(folder / "out" / "Northern Lights.dat"),
              "This screen saver keeps no data of its own.\r\n");
    EXPECT_EQ(ReadText(folder / "out" / "UNINSTAL.EXE"), ProgramText("lmvpack's uninstaller"));

    // An uninstaller that is not there stops the build before anything is written.
    const RunResult missing =
        RunLmvpack(folder.path(), {"build", "screensaver.toml", "-o", "Other.exe", "--stub",
                                   stub.string(), "--uninstaller", "gone.exe", "--quiet"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("gone.exe"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(folder / "Other.exe"));
}

} // namespace
