#include "install/link_safety.h"

#include "platform/file_api.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The made-up disk: anything not listed is missing.
std::map<std::string, PathKind> disk;
std::vector<std::string> asked;

PathKind KindOnMadeUpDisk(const char* path) {
    asked.push_back(path);
    const auto found = disk.find(path);
    return found == disk.end() ? PathKind::kMissing : found->second;
}

constexpr char kFolder[] = "C:\\PD\\Tarrowby\\Lumenvault\\Aurora\\";
constexpr size_t kOwnLevelsStart = 5; // "C:\PD", the system's folder
const InstallNames kNames = {"Aurora", "C:\\W\\Aurora.scr", kFolder};

class LinkSafety : public testing::Test {
  protected:
    void SetUp() override {
        disk.clear();
        asked.clear();
        PlatSetModuleFileName(
            WriteSyntheticInstaller("links.exe", PackageOfSmallMembers(5)).c_str());
    }

    // The verdict and the path it names.
    std::pair<bool, std::string> Check() {
        char refused[kPathSize] = "stale";
        const bool unlinked = InstallPathsAreUnlinked(kNames, kOwnLevelsStart, KindOnMadeUpDisk,
                                                      refused, sizeof refused);
        return {unlinked, refused};
    }
};

std::vector<std::string> Levels(const char* folder, size_t start) {
    std::vector<std::string> levels;
    ForEachOwnFolderLevel(
        folder, start,
        [](void* context, const char* level) {
            static_cast<std::vector<std::string>*>(context)->push_back(level);
            return true;
        },
        &levels);
    return levels;
}

TEST(FolderLevels, OnlyTheLevelsPastTheSystemsFolderOutermostFirst) {
    EXPECT_EQ(Levels("C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\", 14),
              (std::vector<std::string>{"C:\\ProgramData\\Tarrowby",
                                        "C:\\ProgramData\\Tarrowby\\Lumenvault",
                                        "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora"}));
    // The fallback under a Windows directory that ends in a backslash: its two extra levels
    // are the installer's own as well.
    EXPECT_EQ(Levels("C:\\All Users\\Application Data\\Tarrowby\\A\\", 3),
              (std::vector<std::string>{"C:\\All Users", "C:\\All Users\\Application Data",
                                        "C:\\All Users\\Application Data\\Tarrowby",
                                        "C:\\All Users\\Application Data\\Tarrowby\\A"}));
    // Hanging from the current drive's root: no empty level for the leading backslash.
    EXPECT_EQ(Levels("\\Tarrowby\\A\\", 0),
              (std::vector<std::string>{"\\Tarrowby", "\\Tarrowby\\A"}));
}

TEST(FolderLevels, StopsWhereTheVisitorSaysSo) {
    int visited = 0;
    EXPECT_FALSE(ForEachOwnFolderLevel(
        kFolder, kOwnLevelsStart,
        [](void* context, const char*) { return ++*static_cast<int*>(context) < 2; }, &visited));
    EXPECT_EQ(visited, 2);
}

TEST_F(LinkSafety, NothingThereYetOrRealFoldersAndFilesMayBeInstalledInto) {
    EXPECT_EQ(Check(), std::make_pair(true, std::string()));
    // What the run looked at: every level, the log and every member's destination.
    EXPECT_EQ(asked,
              (std::vector<std::string>{
                  "C:\\PD\\Tarrowby", "C:\\PD\\Tarrowby\\Lumenvault",
                  "C:\\PD\\Tarrowby\\Lumenvault\\Aurora", std::string(kFolder) + "INSTALL.LOG",
                  "C:\\W\\Aurora.scr", std::string(kFolder) + "Aurora.dat",
                  std::string(kFolder) + "UNINSTAL.EXE", std::string(kFolder) + "FILE0001.MID",
                  std::string(kFolder) + "FILE0002.MID"}));
    for (const std::string& path : asked)
        disk[path] = PathKind::kFile;
    for (const char* level : {"C:\\PD\\Tarrowby", "C:\\PD\\Tarrowby\\Lumenvault",
                              "C:\\PD\\Tarrowby\\Lumenvault\\Aurora"})
        disk[level] = PathKind::kFolder;
    // A later installation over an earlier one.
    EXPECT_EQ(Check(), std::make_pair(true, std::string()));
}

TEST_F(LinkSafety, ALinkAtAnyLevelOfOursIsRefusedByItsName) {
    for (const char* level : {"C:\\PD\\Tarrowby", "C:\\PD\\Tarrowby\\Lumenvault",
                              "C:\\PD\\Tarrowby\\Lumenvault\\Aurora"}) {
        disk = {{level, PathKind::kLink}};
        EXPECT_EQ(Check(), std::make_pair(false, std::string(level)));
    }
    // The system's own folder is the administrator's business, not a plant of a user's.
    disk = {{"C:\\PD", PathKind::kLink}};
    EXPECT_TRUE(Check().first);
}

TEST_F(LinkSafety, ADestinationThatIsALinkOrASecondNameOfAFileIsRefused) {
    const std::string destinations[] = {std::string(kFolder) + "INSTALL.LOG", "C:\\W\\Aurora.scr",
                                        std::string(kFolder) + "UNINSTAL.EXE",
                                        std::string(kFolder) + "FILE0002.MID"};
    for (const std::string& path : destinations)
        for (PathKind kind : {PathKind::kLink, PathKind::kLinkedFile}) {
            disk = {{path, kind}};
            EXPECT_EQ(Check(), std::make_pair(false, path));
        }
    // A folder where a file will go is no link: writing it fails on its own.
    disk = {{std::string(kFolder) + "Aurora.dat", PathKind::kFolder}};
    EXPECT_TRUE(Check().first);
}

TEST_F(LinkSafety, TheFirstLinkOnTheWayIsTheOneNamed) {
    disk = {{"C:\\PD\\Tarrowby\\Lumenvault", PathKind::kLink},
            {std::string(kFolder) + "INSTALL.LOG", PathKind::kLinkedFile},
            {"C:\\W\\Aurora.scr", PathKind::kLink}};
    EXPECT_EQ(Check(), std::make_pair(false, std::string("C:\\PD\\Tarrowby\\Lumenvault")));
    disk.erase("C:\\PD\\Tarrowby\\Lumenvault");
    EXPECT_EQ(Check(), std::make_pair(false, std::string(kFolder) + "INSTALL.LOG"));
}

TEST_F(LinkSafety, WithoutAFolderOrPackageOnlyTheScreenSaverIsLookedAt) {
    const InstallNames no_folder = {"Aurora", "C:\\W\\Aurora.scr", ""};
    char refused[kPathSize];
    disk = {{"C:\\W\\Aurora.scr", PathKind::kLinkedFile}};
    EXPECT_FALSE(InstallPathsAreUnlinked(no_folder, 0, KindOnMadeUpDisk, refused, sizeof refused));
    EXPECT_STREQ(refused, "C:\\W\\Aurora.scr");
    // No package to walk: the run will write nothing, so nothing is refused.
    PlatSetModuleFileName("/nonexistent/installer.exe");
    EXPECT_TRUE(InstallPathsAreUnlinked(no_folder, 0, KindOnMadeUpDisk, refused, sizeof refused));
}

} // namespace
