// The tool takes only stubs laid out as the installer needs, and agrees with the installer's
// locator on where the package goes.
#include "lmvpack_runner.h"
#include "support/pe_file.h"

#include "package/package_locator.h"
#include "tools/lmvpack/installer/stub_layout.h"
#include "tools/lmvpack/support/tool_error.h"

namespace {

using namespace lmvpack_test;

struct StubPlaces {
    size_t rsrc_header; // section header of ".rsrc"
    size_t type_name;   // the first type's length-prefixed name
    size_t data_entry;  // the package resource's data entry
};

// The package resource is the resource tree's first leaf.
StubPlaces FindPlaces(const std::vector<uint8_t>& stub) {
    const PeFile file(stub);
    if (!file.Rsrc() || file.resources.empty()) {
        ADD_FAILURE() << "no resources in the stub";
        return {};
    }
    const PeResource& package = file.resources.front();
    return {file.Rsrc()->header_offset, package.type_name_offset, package.entry_offset};
}

std::string Refusal(const fs::path& path, const std::vector<uint8_t>& bytes) {
    WriteBytes(path, bytes);
    try {
        InspectStub(path.string(), bytes);
    } catch (const BuildError& error) {
        return error.what();
    }
    return "";
}

TEST(LmvpackStub, FindsThePackagePositionWhereTheInstallersLocatorDoes) {
    LMV_REQUIRE_STUB(stub);
    const std::vector<uint8_t> bytes = ReadBytes(stub);
    const StubLayout layout = InspectStub(stub.string(), bytes);
    const FileHandle located = LocatePackageInFile(stub.string().c_str());
    ASSERT_NE(located, kNoFile);
    EXPECT_EQ(static_cast<uint32_t>(PlatSeek(located, 0, kFromCurrent)),
              layout.package_offset.value);
    PlatClose(located);
    EXPECT_EQ(layout.resource_end.value, bytes.size());
    EXPECT_LE(layout.package_offset.value + 4, layout.resource_end.value);
}

TEST(LmvpackStub, RefusesStubsThatAreNotLaidOutForAPackage) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    const std::vector<uint8_t> good = ReadBytes(stub);
    const StubPlaces places = FindPlaces(good);

    std::vector<uint8_t> renamed_type = good; // "LASTRES" -> "LASTREZ"
    renamed_type[places.type_name + 2 + 2 * 6] = 'Z';
    EXPECT_NE(Refusal(folder / "type.exe", renamed_type).find("\"LASTRES\""), std::string::npos);

    std::vector<uint8_t> bigger = good; // declared size 8 instead of 4
    bigger[places.data_entry + 4] = 8;
    EXPECT_NE(Refusal(folder / "size.exe", bigger).find("size other than 4"), std::string::npos);

    std::vector<uint8_t> no_rsrc = good;
    no_rsrc[places.rsrc_header + 4] = 'x';
    EXPECT_NE(Refusal(folder / "nosection.exe", no_rsrc).find("no \".rsrc\""), std::string::npos);

    std::vector<uint8_t> installer = good; // a built installer is no stub
    installer.insert(installer.end(), 600, 0x42);
    EXPECT_NE(Refusal(folder / "installer.exe", installer).find("after its resource section"),
              std::string::npos);

    const std::vector<uint8_t> cut(good.begin(), good.end() - 100);
    EXPECT_NE(Refusal(folder / "cut.exe", cut).find("cut short"), std::string::npos);

    EXPECT_NE(Refusal(folder / "text.exe", std::vector<uint8_t>(100, 'a')).find("not a PE file"),
              std::string::npos);
}

TEST(LmvpackStub, BuildRefusesAForeignStubAndWritesNothing) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    for (const char* name : {"a.scr", "a.dat", "u.exe"})
        WriteText(folder / name, ProgramText("x"));
    WriteText(folder / "m.toml",
              "name = \"A\"\nscreensaver = \"a.scr\"\ndata = \"a.dat\"\nuninstaller = \"u.exe\"\n");
    std::vector<uint8_t> foreign = ReadBytes(stub);
    foreign.insert(foreign.end(), 10, 0);
    WriteBytes(folder / "foreign.exe", foreign);
    const RunResult build =
        RunLmvpack(folder.path(), {"build", "m.toml", "-o", "out.exe", "--stub", "foreign.exe"});
    EXPECT_EQ(build.status, 2);
    EXPECT_NE(build.err.find("not a usable installer stub"), std::string::npos) << build.err;
    EXPECT_FALSE(fs::exists(folder / "out.exe"));
    // Nor is a temporary file left behind.
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".out.exe")) << entry.path();
}

} // namespace

namespace {

using namespace lmvpack_test;

TEST(LmvpackStub, BuildTakesTheStubInstalledBesideTheToolFirst) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    // An installed layout: prefix/bin/lmvpack and prefix/share/lmvpack/lmvstub.exe. The stub
    // there is made unusable, so the refusal shows which stub was taken.
    fs::create_directories(folder / "prefix/bin");
    fs::copy_file(LMV_LMVPACK_PATH, folder / "prefix/bin/lmvpack");
    std::vector<uint8_t> marked = ReadBytes(stub);
    marked.push_back(0);
    WriteBytes(folder / "prefix/share/lmvpack/lmvstub.exe", marked);
    for (const char* name : {"a.scr", "a.dat", "u.exe"})
        WriteText(folder / name, ProgramText("x"));
    WriteText(folder / "m.toml",
              "name = \"A\"\nscreensaver = \"a.scr\"\ndata = \"a.dat\"\nuninstaller = \"u.exe\"\n");
    const std::string command = "cd '" + folder.path().string() +
                                "' && prefix/bin/lmvpack build m.toml -o out.exe 2>err.txt";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_NE(ReadText(folder / "err.txt").find("share/lmvpack/lmvstub.exe"), std::string::npos)
        << ReadText(folder / "err.txt");

    // With the installed stub whole again, the same command builds.
    WriteBytes(folder / "prefix/share/lmvpack/lmvstub.exe", ReadBytes(stub));
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(folder / "err.txt");
    EXPECT_TRUE(fs::exists(folder / "out.exe"));
}

} // namespace

namespace {

using namespace lmvpack_test;

TEST(LmvpackStub, AToolOutsideItsBuildFolderKnowsNothingOfTheTree) {
    ScratchFolder folder;
    // The tool as an installation has it, with nothing beside it: it must not fall back on the
    // source tree it was built from (a path of the build machine in an installed program).
    fs::create_directories(folder / "prefix/bin");
    fs::copy_file(LMV_LMVPACK_PATH, folder / "prefix/bin/lmvpack");
    for (const char* name : {"a.scr", "a.dat", "u.exe"})
        WriteText(folder / name, ProgramText("x"));
    WriteText(folder / "m.toml",
              "name = \"A\"\nscreensaver = \"a.scr\"\ndata = \"a.dat\"\nuninstaller = \"u.exe\"\n");
    const std::string run = "cd '" + folder.path().string() + "' && prefix/bin/lmvpack ";
    EXPECT_NE(std::system((run + "build m.toml -o out.exe 2>err.txt").c_str()), 0);
    const std::string refused = ReadText(folder / "err.txt");
    EXPECT_NE(refused.find("no installer stub found"), std::string::npos) << refused;
    EXPECT_NE(refused.find("prefix/share/lmvpack/lmvstub.exe"), std::string::npos) << refused;
    EXPECT_EQ(refused.find(LMV_SOURCE_DIR), std::string::npos) << refused;
    EXPECT_FALSE(fs::exists(folder / "out.exe"));

    ASSERT_EQ(std::system((run + "--help >help.txt").c_str()), 0);
    const std::string help = ReadText(folder / "help.txt");
    EXPECT_NE(help.find("prefix/share/doc/lmvpack/docs/manifest.md"), std::string::npos) << help;
    EXPECT_EQ(help.find(LMV_SOURCE_DIR), std::string::npos) << help;
}

} // namespace
