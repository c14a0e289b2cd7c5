#include "install/folder_securing.h"
#include "install/install_securing.h"

#include "platform/fixed_text.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// The made-up disk: what a look through a handle finds at each path (anything not listed is
// missing), the files in each folder, and everything the securing asked of it, in order.
struct MadeUpDisk {
    std::map<std::string, PathSecurity> found;
    std::map<std::string, std::vector<std::string>> files;
    std::vector<std::string> asked;
    std::vector<std::string> held;
    // Paths whose rules cannot be written, and what happens once a path's rules are written.
    std::vector<std::string> refusing_rules;
    std::function<void(const std::string&)> after_rules_written;
    // What is at a path by the time the securing creates it, made there by someone else.
    std::map<std::string, PathSecurity> appearing;
};
MadeUpDisk* disk = nullptr;

PathSecurity Look(void*, const char* path, bool protect, bool hold) {
    disk->asked.push_back((protect ? "protect " : "look ") + std::string(path));
    const auto at = disk->found.find(path);
    PathSecurity found = at == disk->found.end() ? PathSecurity::kMissing : at->second;
    if (protect && found == PathSecurity::kLoose) {
        for (const std::string& refusing : disk->refusing_rules)
            if (refusing == path) return PathSecurity::kNoAccess;
        found = disk->found[path] = PathSecurity::kOurs;
        if (disk->after_rules_written) disk->after_rules_written(path);
    }
    if (hold && (found == PathSecurity::kOurs || found == PathSecurity::kLoose))
        disk->held.push_back(path);
    return found;
}

bool ForEachFile(void*, const char* folder, bool (*visit)(void*, const char*), void* context) {
    disk->asked.push_back("list " + std::string(folder));
    for (const std::string& file : disk->files[folder])
        if (!visit(context, (std::string(folder) + "\\" + file).c_str())) return false;
    return true;
}

void CreateFolder(void*, const char* path) {
    disk->asked.push_back("create " + std::string(path));
    if (disk->found.count(path) != 0) return;
    const auto appearing = disk->appearing.find(path);
    disk->found[path] =
        appearing != disk->appearing.end() ? appearing->second : PathSecurity::kOurs;
}

const SecurityAccess kMadeUpAccess = {nullptr, Look, ForEachFile, CreateFolder};

constexpr char kFolder[] = "C:\\PD\\Tarrowby\\Lumenvault\\Aurora\\";
constexpr size_t kOwnLevelsStart = 5; // "C:\PD", the system's folder
const std::string kTarrowby = "C:\\PD\\Tarrowby";
const std::string kLumenvault = kTarrowby + "\\Lumenvault";
const std::string kAurora = kLumenvault + "\\Aurora";
const std::string kLog = kAurora + "\\INSTALL.LOG";

class FolderSecuring : public testing::Test {
  protected:
    void SetUp() override { disk = &made_up; }
    void TearDown() override { disk = nullptr; }

    // The outcome and the path it names.
    std::pair<Securing, std::string> Levels(SecuringStep step) {
        char refused[kPathSize] = "stale";
        const Securing outcome =
            SecureOwnLevels(kFolder, kOwnLevelsStart, step, kMadeUpAccess, refused, sizeof refused);
        return {outcome, refused};
    }
    std::pair<Securing, std::string> File(const std::string& path, SecuringStep step) {
        char refused[kPathSize] = "stale";
        const Securing outcome =
            SecureOwnFile(path.c_str(), step, kMadeUpAccess, refused, sizeof refused);
        return {outcome, refused};
    }
    void AllLevels(PathSecurity security) {
        for (const std::string& level : {kTarrowby, kLumenvault, kAurora})
            made_up.found[level] = security;
    }

    MadeUpDisk made_up;
};

const std::pair<Securing, std::string> kSecured = {Securing::kSecured, ""};

TEST_F(FolderSecuring, NothingThereYetIsCheckedAtTheFirstLevelAndMadeWhenSecured) {
    EXPECT_EQ(Levels(SecuringStep::kCheck), kSecured);
    EXPECT_EQ(made_up.asked, (std::vector<std::string>{"look " + kTarrowby}));
    made_up.asked.clear();
    EXPECT_EQ(Levels(SecuringStep::kSecure), kSecured);
    EXPECT_EQ(made_up.asked,
              (std::vector<std::string>{"create " + kTarrowby, "look " + kTarrowby,
                                        "create " + kLumenvault, "look " + kLumenvault,
                                        "create " + kAurora, "look " + kAurora}));
    // Every level's handle stays open for the run: no one renames them meanwhile.
    EXPECT_EQ(made_up.held, (std::vector<std::string>{kTarrowby, kLumenvault, kAurora}));
}

TEST_F(FolderSecuring, LevelsOfTheAdministratorsAreUsedAsTheyAre) {
    AllLevels(PathSecurity::kOurs);
    EXPECT_EQ(Levels(SecuringStep::kCheck), kSecured);
    EXPECT_EQ(Levels(SecuringStep::kSecure), kSecured);
    for (const std::string& asked : made_up.asked)
        EXPECT_TRUE(asked.rfind("look ", 0) == 0 || asked.rfind("create ", 0) == 0) << asked;
}

// Never used, never taken over: a handle its owner opened earlier would keep its rights.
TEST_F(FolderSecuring, ALevelOfAnyoneElseIsRefusedByItsNameAndNothingBelowItIsTouched) {
    for (const std::string& level : {kTarrowby, kLumenvault, kAurora}) {
        AllLevels(PathSecurity::kOurs);
        made_up.found[level] = PathSecurity::kForeign;
        for (const SecuringStep step : {SecuringStep::kCheck, SecuringStep::kSecure}) {
            made_up.asked.clear();
            EXPECT_EQ(Levels(step), std::make_pair(Securing::kForeign, level));
            EXPECT_EQ(made_up.asked.back(), "look " + level);
        }
    }
    made_up.found[kLumenvault] = PathSecurity::kLink;
    EXPECT_EQ(Levels(SecuringStep::kCheck), std::make_pair(Securing::kLink, kLumenvault));
}

// An installation made before the protected rules existed: the administrators' levels that
// users may add files to get our rules once the run is sure to go on, and whatever another
// user added meanwhile is refused, before the rules are written and after.
TEST_F(FolderSecuring, ALevelOthersMayChangeGetsOurRulesAndItsFilesAreLookedAtBeforeAndAfter) {
    AllLevels(PathSecurity::kOurs);
    made_up.found[kLumenvault] = PathSecurity::kLoose;
    made_up.files[kLumenvault] = {"readme.txt"};
    made_up.found[kLumenvault + "\\readme.txt"] = PathSecurity::kOurs;

    EXPECT_EQ(Levels(SecuringStep::kCheck), kSecured);
    EXPECT_EQ(made_up.found[kLumenvault], PathSecurity::kLoose) << "the check writes nothing";
    made_up.asked.clear();
    EXPECT_EQ(Levels(SecuringStep::kSecure), kSecured);
    const std::string readme = "look " + kLumenvault + "\\readme.txt";
    EXPECT_EQ(made_up.asked,
              (std::vector<std::string>{
                  "create " + kTarrowby, "look " + kTarrowby, "create " + kLumenvault,
                  "look " + kLumenvault, "list " + kLumenvault, readme, "protect " + kLumenvault,
                  "list " + kLumenvault, readme, "create " + kAurora, "look " + kAurora}));
    EXPECT_EQ(made_up.found[kLumenvault], PathSecurity::kOurs);
}

TEST_F(FolderSecuring, AnotherUsersFileInALevelOthersMayChangeIsRefusedByItsName) {
    AllLevels(PathSecurity::kOurs);
    made_up.found[kAurora] = PathSecurity::kLoose;
    made_up.files[kAurora] = {"FILE0001.WAV", "version.dll"};
    made_up.found[kAurora + "\\FILE0001.WAV"] = PathSecurity::kLoose;
    for (const PathSecurity what : {PathSecurity::kForeign, PathSecurity::kLink}) {
        made_up.found[kAurora + "\\version.dll"] = what;
        made_up.asked.clear();
        const Securing why = what == PathSecurity::kLink ? Securing::kLink : Securing::kForeign;
        EXPECT_EQ(Levels(SecuringStep::kCheck), std::make_pair(why, kAurora + "\\version.dll"));
        EXPECT_EQ(Levels(SecuringStep::kSecure), std::make_pair(why, kAurora + "\\version.dll"));
        for (const std::string& asked : made_up.asked)
            EXPECT_NE(asked.rfind("protect", 0), 0u) << "rules written: " << asked;
    }
}

TEST_F(FolderSecuring, AFileAddedWhileTheRulesAreWrittenIsRefused) {
    AllLevels(PathSecurity::kOurs);
    made_up.found[kAurora] = PathSecurity::kLoose;
    made_up.after_rules_written = [](const std::string& level) {
        disk->files[level] = {"UNINSTAL.EXE"};
        disk->found[level + "\\UNINSTAL.EXE"] = PathSecurity::kForeign;
    };
    EXPECT_EQ(Levels(SecuringStep::kSecure),
              std::make_pair(Securing::kForeign, kAurora + "\\UNINSTAL.EXE"));
}

// Missing at the check, there "already" when the run makes it: someone else made it in
// between. It is judged like any other, never used unjudged.
TEST_F(FolderSecuring, ALevelThatAppearsBetweenTheCheckAndItsCreationIsJudged) {
    made_up.found[kTarrowby] = PathSecurity::kOurs;
    EXPECT_EQ(Levels(SecuringStep::kCheck), kSecured);
    made_up.appearing[kLumenvault] = PathSecurity::kForeign;
    EXPECT_EQ(Levels(SecuringStep::kSecure), std::make_pair(Securing::kForeign, kLumenvault));
    EXPECT_EQ(made_up.found.count(kAurora), 0u) << "nothing made below it";

    made_up.found.erase(kLumenvault);
    made_up.appearing[kLumenvault] = PathSecurity::kLink;
    EXPECT_EQ(Levels(SecuringStep::kSecure), std::make_pair(Securing::kLink, kLumenvault));

    made_up.found.erase(kLumenvault);
    made_up.appearing[kLumenvault] = PathSecurity::kLoose;
    EXPECT_EQ(Levels(SecuringStep::kSecure), kSecured);
    EXPECT_EQ(made_up.found[kLumenvault], PathSecurity::kOurs);
}

TEST_F(FolderSecuring, RulesThatCannotBeWrittenStopTheRunForWantOfRights) {
    AllLevels(PathSecurity::kOurs);
    made_up.found[kTarrowby] = PathSecurity::kLoose;
    made_up.refusing_rules = {kTarrowby};
    EXPECT_EQ(Levels(SecuringStep::kCheck), kSecured);
    EXPECT_EQ(Levels(SecuringStep::kSecure), std::make_pair(Securing::kNoAccess, kTarrowby));
}

TEST_F(FolderSecuring, AFileOfOursIsJudgedAndGivenOurRulesWhereItExists) {
    EXPECT_EQ(File(kLog, SecuringStep::kCheck), kSecured) << "missing";
    made_up.found[kLog] = PathSecurity::kForeign;
    EXPECT_EQ(File(kLog, SecuringStep::kCheck), std::make_pair(Securing::kForeign, kLog));
    made_up.found[kLog] = PathSecurity::kLink;
    EXPECT_EQ(File(kLog, SecuringStep::kSecure), std::make_pair(Securing::kLink, kLog));
    made_up.found[kLog] = PathSecurity::kLoose;
    made_up.asked.clear();
    EXPECT_EQ(File(kLog, SecuringStep::kCheck), kSecured);
    EXPECT_EQ(made_up.asked, (std::vector<std::string>{"look " + kLog}));
    EXPECT_EQ(File(kLog, SecuringStep::kSecure), kSecured);
    EXPECT_EQ(made_up.found[kLog], PathSecurity::kOurs);
    made_up.found[kLog] = PathSecurity::kLoose;
    made_up.refusing_rules = {kLog};
    EXPECT_EQ(File(kLog, SecuringStep::kSecure), std::make_pair(Securing::kNoAccess, kLog));
    EXPECT_TRUE(made_up.held.empty()) << "only levels are held";
}

class InstallSecuring : public FolderSecuring {
  protected:
    void SetUp() override {
        FolderSecuring::SetUp();
        PlatSetModuleFileName(
            WriteSyntheticInstaller("securing.exe", PackageOfSmallMembers(5)).c_str());
    }
    std::pair<Securing, std::string> Paths(SecuringStep step, const char* folder = kFolder) {
        const InstallNames names = {"Aurora", "C:\\W\\Aurora.scr", folder};
        char refused[kPathSize] = "stale";
        const Securing outcome = SecureInstallPaths(names, kOwnLevelsStart, step, kMadeUpAccess,
                                                    refused, sizeof refused);
        return {outcome, refused};
    }
};

// INSTALL.LOG, UNINSTAL.EXE and every destination in our folder; the screen saver goes into the
// Windows directory, whose rules are the system's.
TEST_F(InstallSecuring, TheLevelsThenEveryFileOfOursTheRunWrites) {
    AllLevels(PathSecurity::kOurs);
    EXPECT_EQ(Paths(SecuringStep::kCheck), kSecured);
    EXPECT_EQ(made_up.asked,
              (std::vector<std::string>{
                  "look " + kTarrowby, "look " + kLumenvault, "look " + kAurora, "look " + kLog,
                  "look " + kAurora + "\\Aurora.dat", "look " + kAurora + "\\UNINSTAL.EXE",
                  "look " + kAurora + "\\FILE0001.MID", "look " + kAurora + "\\FILE0002.MID"}));
    made_up.found[kAurora + "\\UNINSTAL.EXE"] = PathSecurity::kForeign;
    EXPECT_EQ(Paths(SecuringStep::kCheck),
              std::make_pair(Securing::kForeign, kAurora + "\\UNINSTAL.EXE"));
    made_up.found[kAurora + "\\UNINSTAL.EXE"] = PathSecurity::kLoose;
    EXPECT_EQ(Paths(SecuringStep::kSecure), kSecured);
    EXPECT_EQ(made_up.found[kAurora + "\\UNINSTAL.EXE"], PathSecurity::kOurs);
    // A refused level ends it before any file is looked at.
    made_up.found[kAurora] = PathSecurity::kForeign;
    made_up.asked.clear();
    EXPECT_EQ(Paths(SecuringStep::kCheck), std::make_pair(Securing::kForeign, kAurora));
    EXPECT_EQ(made_up.asked.back(), "look " + kAurora);
}

TEST_F(InstallSecuring, WithoutAFolderThereIsNothingOfOursToSecure) {
    EXPECT_EQ(Paths(SecuringStep::kSecure, ""), kSecured);
    EXPECT_TRUE(made_up.asked.empty());
}

} // namespace
