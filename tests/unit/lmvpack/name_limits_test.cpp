// How long a screen saver's name may be: what the installer's paths leave room for, the same
// number in the tool, its starter manifest and the manifest reference, and verify failing an
// installer whose name cannot be installed.
#include "lmvpack_runner.h"

#include "install/install_paths.h"
#include "package/member_names.h"
#include "tools/lmvpack/installer/installed_names.h"

#include <nlohmann/json.hpp>

#include <cstring>

namespace {

using namespace lmvpack_test;

// The data file's path, <folder>\Tarrowby\Lumenvault\<name>\<name>.dat, holds the name twice
// in 259 characters: (259 - 35 - 5) / 2 under C:\ProgramData, where Wine installs a name of
// 109 bytes and fails one of 110; (259 - 74 - 5) / 2 under Windows XP's folder.
TEST(NameLimits, AreWhatTheDataFilePathLeavesRoom) {
    EXPECT_EQ(LongestNameUnder(kShortestDataFolder), 109u);
    EXPECT_EQ(LongestNameUnder(kLongestDataFolder), 90u);
    EXPECT_TRUE(NameFitsUnder(kShortestDataFolder, std::string(109, 'n')));
    EXPECT_FALSE(NameFitsUnder(kShortestDataFolder, std::string(110, 'n')));
    EXPECT_TRUE(NameFitsUnder(kLongestDataFolder, std::string(90, 'n')));
    EXPECT_FALSE(NameFitsUnder(kLongestDataFolder, std::string(91, 'n')));
}

// The refusal and the warning show the path that does not fit, as the installer builds it.
TEST(NameLimits, AreExplainedByTheDataFilePath) {
    const std::string problem = ScreenSaverNameProblem(std::string(110, 'n'));
    EXPECT_NE(
        problem.find("at most 109 bytes, since the data file's path "
                     "C:\\ProgramData\\Tarrowby\\Lumenvault\\<name>\\<name>.dat holds it twice"),
        std::string::npos)
        << problem;
    const std::string warning = ScreenSaverNameWarning(std::string(100, 'n') + "  ");
    EXPECT_NE(warning.find("where C:\\Documents and Settings\\All Users\\Application Data\\"
                           "Tarrowby\\Lumenvault\\<name>\\<name>.dat leaves room for 90 bytes"),
              std::string::npos)
        << warning;
    EXPECT_EQ(ScreenSaverNameWarning(std::string(90, 'n')), "");
}

TEST(NameLimits, LeaveRoomForTheLongestMediaName) {
    const std::string name(109, 'n');
    char folder[kPathSize] = "";
    ASSERT_TRUE(AppendPath(folder, sizeof folder, kShortestDataFolder));
    for (const char* level : {"Tarrowby", "Lumenvault", name.c_str(), ""})
        ASSERT_TRUE(AppendPathLevel(folder, sizeof folder, level));
    MemberEntry entry{};
    std::memcpy(entry.NameSuffix, ".fifteen-bytes!", kNameSuffixSize);
    entry.PrefixKind = 'F';
    const InstallNames names = {name.c_str(), "C:\\WINDOWS\\n.scr", folder};
    char destination[kPathSize];
    // A number of ten digits, more than any package reaches.
    ASSERT_TRUE(
        MemberDestination(4'000'000'000u, entry, 65535, names, destination, sizeof destination));
    EXPECT_NE(std::string(destination).find("FILE4000065532.fifteen-bytes!"), std::string::npos)
        << destination;
}

TEST(NameLimits, AreStatedAlikeInTheStarterManifestAndTheReference) {
    const std::string longest = std::to_string(LongestNameUnder(kShortestDataFolder));
    const std::string for_xp = std::to_string(LongestNameUnder(kLongestDataFolder));
    ScratchFolder folder;
    ASSERT_EQ(RunLmvpack(folder.path(), {"init", "saver"}).status, 0);
    const std::string starter = ReadText(folder / "saver/screensaver.toml");
    EXPECT_NE(starter.find("At most " + longest + " bytes"), std::string::npos) << starter;
    EXPECT_NE(starter.find("(" + for_xp + " for"), std::string::npos) << starter;
    const std::string reference = ReadText(fs::path(LMV_SOURCE_DIR) / "docs/manifest.md");
    EXPECT_NE(reference.find("At most " + longest + " bytes"), std::string::npos);
    EXPECT_NE(reference.find("| " + longest + " bytes |"), std::string::npos);
    EXPECT_NE(reference.find("| " + for_xp + " bytes |"), std::string::npos);
    EXPECT_EQ(reference.find("255 bytes"), std::string::npos);
}

TEST(NameLimits, VerifyFailsAnInstallerWhoseNameCannotBeInstalled) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    for (const char* file : {"s.scr", "s.dat", "u.exe"})
        WriteText(folder / file, ProgramText("bytes"));
    WriteText(folder / "m.toml", "name = \"" + std::string(109, 'n') +
                                     "\"\nscreensaver = \"s.scr\"\ndata = \"s.dat\"\n"
                                     "uninstaller = \"u.exe\"\n");
    ASSERT_EQ(RunLmvpack(folder.path(),
                         {"build", "m.toml", "-o", "ok.exe", "--stub", stub.string(), "-q"})
                  .status,
              0);
    EXPECT_EQ(RunLmvpack(folder.path(), {"verify", "ok.exe"}).status, 0);

    // One more letter, written into the built installer's name field.
    std::vector<uint8_t> installer = ReadBytes(folder / "ok.exe");
    const auto listing =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "ok.exe", "--json"}).out);
    installer[listing["package_offset"].get<size_t>() + 2 + 109] = 'n';
    WriteBytes(folder / "long.exe", installer);
    const RunResult verify = RunLmvpack(folder.path(), {"verify", "long.exe"});
    EXPECT_EQ(verify.status, 1) << verify.out;
    EXPECT_NE(verify.out.find("cannot install its name, which is 110 bytes"), std::string::npos)
        << verify.out;
}

} // namespace
