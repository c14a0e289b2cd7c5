#include "frontend/package_checks.h"

#include "install/installer_state.h"
#include "package/package_reading.h"
#include "platform/file_api.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TestPackage FiveMembers(const std::string& name, const std::string& fourth_suffix = ".MID") {
    TestPackage package;
    package.name = name;
    for (uint8_t index = 0; index < 5; ++index) {
        TestMember member;
        member.data.assign(100, index);
        member.suffix = index == 3 ? fourth_suffix : ".WAV";
        package.members.push_back(member);
    }
    return package;
}

// Installs `bytes` as the running installer and reads its header as the title window does, on
// a Windows whose ANSI code page is `code_page`.
PackageRefusal CheckInstaller(const std::vector<uint8_t>& bytes, uint32_t code_page = 1252) {
    PlatSetModuleFileName(WriteTempFile("checked.exe", bytes).c_str());
    std::memset(ScreenSaverName, 0, sizeof ScreenSaverName);
    PackageHeader header{};
    const bool header_read = ReadPackageHeader(&header);
    std::memcpy(ScreenSaverName, header.ScreenSaverName, sizeof ScreenSaverName);
    return CheckPackageBeforeAsking(header_read, code_page);
}

std::vector<uint8_t> Installer(const TestPackage& package) {
    BuiltPe pe = BuildSyntheticPe({});
    const std::vector<uint8_t> body = SerializePackage(package, pe.package_offset);
    pe.bytes.insert(pe.bytes.end(), body.begin(), body.end());
    return pe.bytes;
}

class PackageChecks : public ::testing::Test {
  protected:
    void TearDown() override { ScreenSaverName[0] = '\0'; }
};

TEST_F(PackageChecks, AWholePackageWithPlainNamesIsTaken) {
    EXPECT_EQ(CheckInstaller(Installer(FiveMembers("Aurora  "))), PackageRefusal::kNone);
}

TEST_F(PackageChecks, AMissingOrCutPackageIsDamagedWhateverItsNameWouldBe) {
    const std::vector<uint8_t> whole = Installer(FiveMembers("Aurora"));
    const size_t package_offset = BuildSyntheticPe({}).package_offset;
    const size_t table = package_offset + 2 + kScreenSaverNameSize + kHeaderFieldsSize;
    // No package at all (the stub as built), a header cut inside the name, a member table
    // cut inside an entry, and one whose terminating entry is missing.
    for (const size_t end :
         {package_offset, package_offset + 100, table + 28 + 14, table + 5 * 28}) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + end);
        EXPECT_EQ(CheckInstaller(cut), PackageRefusal::kDamagedOrMissing) << "cut at " << end;
    }
    // A table without members, as the stub reads before a package is placed into it.
    EXPECT_EQ(CheckInstaller(Installer(TestPackage{})), PackageRefusal::kDamagedOrMissing);
    PlatSetModuleFileName("/nonexistent/installer.exe");
    EXPECT_EQ(CheckPackageBeforeAsking(false, 1252), PackageRefusal::kDamagedOrMissing);
    // The table alone does not make a package whole: its header must have been read.
    PlatSetModuleFileName(WriteTempFile("whole.exe", whole).c_str());
    std::strcpy(ScreenSaverName, "Aurora");
    EXPECT_EQ(CheckPackageBeforeAsking(false, 1252), PackageRefusal::kDamagedOrMissing);
}

TEST_F(PackageChecks, UnusableScreenSaverNamesAreRefusedBeforeMediaNames) {
    // A name ending in a dot loses it as a folder name but keeps it everywhere else; trailing
    // blanks are trimmed first, so a dot before them counts as the end.
    for (const std::string& name :
         std::vector<std::string>{"..\\..\\Evil", "NUL", "com1.txt", "Aux. .", " . ",
                                  std::string(256, 'L'), "Mr. T.", "Aurora.  "})
        EXPECT_EQ(CheckInstaller(Installer(FiveMembers(name, "\\..\\x.wav"))),
                  PackageRefusal::kUnusableName)
            << name;
}

TEST_F(PackageChecks, ANameBeyondAsciiIsRefusedOnlyWhereTheCodePageIsNotWindows1252) {
    const std::vector<uint8_t> cafe = Installer(FiveMembers("Caf\xE9"));
    EXPECT_EQ(CheckInstaller(cafe, 1252), PackageRefusal::kNone);
    // Japanese, Chinese (simplified and traditional), Korean, Central European, and UTF-8 as
    // the system's code page.
    for (const uint32_t code_page : {932u, 936u, 950u, 949u, 1250u, 65001u})
        EXPECT_EQ(CheckInstaller(cafe, code_page), PackageRefusal::kUnusableName) << code_page;
    // Plain ASCII means the same everywhere, trailing blanks and all.
    EXPECT_EQ(CheckInstaller(Installer(FiveMembers("Aurora 2  ")), 932), PackageRefusal::kNone);
    // The damaged package is still reported as such, whatever its name.
    EXPECT_EQ(CheckInstaller(Installer(TestPackage{}), 932), PackageRefusal::kDamagedOrMissing);
}

TEST_F(PackageChecks, AMediaNameThatLeavesTheDataFolderIsRefused) {
    EXPECT_EQ(CheckInstaller(Installer(FiveMembers("Aurora", "\\..\\..\\e.wav"))),
              PackageRefusal::kNameOutsideFolders);
}

} // namespace
