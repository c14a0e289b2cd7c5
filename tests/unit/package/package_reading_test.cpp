#include "package/package_reading.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

TestMember Stored(size_t size, uint8_t fill = 0x11) {
    TestMember member;
    member.data.assign(size, fill);
    return member;
}

TestPackage ThreeMembers() {
    TestPackage package;
    package.agreement = "Line one\r\nLine two";
    package.name = "Northern Lights";
    package.needs_directx = 1;
    package.top_color = 0x00112233;
    package.bottom_color = 0x00445566;
    package.members = {Stored(1000), Stored(300), Stored(20)};
    package.members[1].unpacked_size = 5000; // a compressed member counts unpacked
    return package;
}

void UseInstaller(const std::string& name, const TestPackage& package) {
    PlatSetModuleFileName(WriteSyntheticInstaller(name, package).c_str());
}

void UseBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    PlatSetModuleFileName(WriteTempFile(name, bytes).c_str());
}

// The installer bytes of `package`, for tests that damage them.
std::vector<uint8_t> InstallerBytes(const TestPackage& package, uint32_t* package_offset) {
    BuiltPe pe = BuildSyntheticPe({});
    *package_offset = pe.package_offset;
    const std::vector<uint8_t> body = SerializePackage(package, pe.package_offset);
    pe.bytes.insert(pe.bytes.end(), body.begin(), body.end());
    return pe.bytes;
}

TEST(ReadPackageHeader, ReadsNameFlagAndColoursPastTheAgreement) {
    UseInstaller("h.exe", ThreeMembers());
    PackageHeader header{};
    EXPECT_TRUE(ReadPackageHeader(&header));
    EXPECT_STREQ(header.ScreenSaverName, "Northern Lights");
    EXPECT_EQ(header.NeedsDirectX, 1u);
    EXPECT_EQ(header.TopColor, 0x00112233u);
    EXPECT_EQ(header.BottomColor, 0x00445566u);
}

TEST(ReadPackageHeader, KeepsTrailingBlanksAndFindsTheNameAtOffsetTwoWithoutAgreement) {
    TestPackage package = ThreeMembers();
    package.agreement.clear();
    package.name = "Blanks   ";
    UseInstaller("blanks.exe", package);
    PackageHeader header{};
    ReadPackageHeader(&header);
    EXPECT_STREQ(header.ScreenSaverName, "Blanks   ");
}

TEST(ReadPackageHeader, LeavesItsOutputsAloneWhenThePackageIsMissingOrCut) {
    PackageHeader defaults{};
    std::strcpy(defaults.ScreenSaverName, "unchanged");
    defaults.TopColor = 0x00FF0000;

    PlatSetModuleFileName("/nonexistent.exe");
    PackageHeader header = defaults;
    EXPECT_FALSE(ReadPackageHeader(&header));
    EXPECT_EQ(std::memcmp(&header, &defaults, sizeof header), 0);

    uint32_t offset = 0;
    const std::vector<uint8_t> bytes = InstallerBytes(ThreeMembers(), &offset);
    const size_t name_at = offset + 2 + ThreeMembers().agreement.size();
    for (size_t cut : {size_t{offset} + 1, name_at + 100, name_at + 260 + 6}) {
        UseBytes("cut.exe", std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
        header = defaults;
        EXPECT_FALSE(ReadPackageHeader(&header)) << "cut at " << cut;
        EXPECT_EQ(std::memcmp(&header, &defaults, sizeof header), 0) << "cut at " << cut;
    }
}

TEST(ReadPackageHeader, TerminatesANameFieldThatHoldsNoNul) {
    TestPackage package = ThreeMembers();
    package.name = std::string(260, 'N');
    UseInstaller("nonul.exe", package);
    PackageHeader header{};
    ReadPackageHeader(&header);
    EXPECT_EQ(std::strlen(header.ScreenSaverName), 259u);
}

TEST(SumMemberSizes, AddsStoredSizesOfStoredAndUnpackedSizesOfCompressedMembers) {
    TestPackage package = ThreeMembers();
    package.members = {Stored(1000), Stored(300)};
    package.members[1].unpacked_size = 5000;
    UseInstaller("sum.exe", package);
    uint32_t total = 1;
    EXPECT_TRUE(SumMemberSizes(&total));
    EXPECT_EQ(total, 6000u);
}

TEST(SumMemberSizes, IsZeroForATableThatStartsWithItsTerminator) {
    TestPackage package = ThreeMembers();
    package.members.clear();
    UseInstaller("empty.exe", package);
    uint32_t total = 1;
    EXPECT_TRUE(SumMemberSizes(&total));
    EXPECT_EQ(total, 0u);
}

TEST(SumMemberSizes, WrapsAroundInThirtyTwoBits) {
    TestPackage package = ThreeMembers();
    package.members = {Stored(10), Stored(10)};
    package.members[0].unpacked_size = 0xFFFFFFF0u;
    package.members[1].unpacked_size = 0x20u;
    UseInstaller("wrap.exe", package);
    uint32_t total = 0;
    EXPECT_TRUE(SumMemberSizes(&total));
    EXPECT_EQ(total, 0x10u);
}

TEST(SumMemberSizes, ReportsNotLocatedForMissingPackagesAndTablesWithoutTerminator) {
    PlatSetModuleFileName("/nonexistent.exe");
    uint32_t total = 7;
    EXPECT_FALSE(SumMemberSizes(&total));
    EXPECT_EQ(total, 0u);

    uint32_t offset = 0;
    TestPackage package = ThreeMembers();
    package.members = {Stored(4), Stored(4)};
    std::vector<uint8_t> bytes = InstallerBytes(package, &offset);
    const size_t table_at = offset + 278 + package.agreement.size();
    // The file ends inside the second entry: no terminator can be read.
    bytes.resize(table_at + 28 + 10);
    UseBytes("noterm.exe", bytes);
    total = 7;
    EXPECT_FALSE(SumMemberSizes(&total));
    EXPECT_EQ(total, 0u);
}

TEST(ReadAgreementText, GivesTheTextWithItsTerminatorAndKeepsThePackageOpenUntilReleased) {
    UseInstaller("agree.exe", ThreeMembers());
    AgreementText agreement;
    ASSERT_TRUE(ReadAgreementText(&agreement));
    EXPECT_STREQ(agreement.text, "Line one\r\nLine two");
    EXPECT_NE(agreement.package, kNoFile);
    ReleaseAgreementText(&agreement);
    EXPECT_EQ(agreement.text, nullptr);
    EXPECT_EQ(agreement.package, kNoFile);
}

TEST(ReadAgreementText, GivesNoneForLengthZeroMissingPackageCutTextAndNoMemory) {
    AgreementText agreement;
    TestPackage package = ThreeMembers();
    package.agreement.clear();
    UseInstaller("none.exe", package);
    EXPECT_FALSE(ReadAgreementText(&agreement));

    PlatSetModuleFileName("/nonexistent.exe");
    EXPECT_FALSE(ReadAgreementText(&agreement));

    uint32_t offset = 0;
    std::vector<uint8_t> bytes = InstallerBytes(ThreeMembers(), &offset);
    bytes.resize(offset + 2 + 5); // the text is cut after five bytes
    UseBytes("cuttext.exe", bytes);
    EXPECT_FALSE(ReadAgreementText(&agreement));
    bytes.resize(offset + 1); // not even the length
    UseBytes("cutlen.exe", bytes);
    EXPECT_FALSE(ReadAgreementText(&agreement));

    UseInstaller("nomem.exe", ThreeMembers());
    PlatFailNextGlobalAlloc();
    EXPECT_FALSE(ReadAgreementText(&agreement));
    EXPECT_EQ(agreement.text, nullptr);
}

TEST(ReadAgreementText, ReadsTheLongestTextWhole) {
    TestPackage package = ThreeMembers();
    package.agreement = std::string(65535, 'x');
    UseInstaller("long.exe", package);
    AgreementText agreement;
    ASSERT_TRUE(ReadAgreementText(&agreement));
    EXPECT_EQ(std::strlen(agreement.text), 65535u);
    ReleaseAgreementText(&agreement);
}

TEST(MemberTableWalk, StandsAtTheFirstEntryAndReadsEntriesUntilTheTerminator) {
    TestPackage package = ThreeMembers();
    package.first_media_number = 51;
    UseInstaller("walk.exe", package);
    uint16_t first_media_number = 0;
    const FileHandle file = OpenMemberTable(&first_media_number);
    ASSERT_NE(file, kNoFile);
    EXPECT_EQ(first_media_number, 51);
    MemberEntry entry;
    std::vector<uint32_t> stored;
    while (ReadMemberEntry(file, &entry) && entry.StoredSize != 0)
        stored.push_back(entry.StoredSize);
    EXPECT_EQ(stored, (std::vector<uint32_t>{1000, 300, 20}));
    PlatClose(file);
}

TEST(MemberTableWalk, FailsOnACutHeaderAndReportsAnEntryThatCannotBeReadWhole) {
    uint32_t offset = 0;
    std::vector<uint8_t> bytes = InstallerBytes(ThreeMembers(), &offset);
    const size_t table_at = offset + 278 + ThreeMembers().agreement.size();
    uint16_t number = 0;
    UseBytes("cuthdr.exe", std::vector<uint8_t>(bytes.begin(), bytes.begin() + table_at - 1));
    EXPECT_EQ(OpenMemberTable(&number), kNoFile);

    UseBytes("cutentry.exe", std::vector<uint8_t>(bytes.begin(), bytes.begin() + table_at + 27));
    const FileHandle file = OpenMemberTable(&number);
    ASSERT_NE(file, kNoFile);
    MemberEntry entry;
    EXPECT_FALSE(ReadMemberEntry(file, &entry));
    PlatClose(file);
}

// The passes that take a path read the installer they are given, however long its path and
// whatever the running program is: the authoring tool reads installers that way. The running
// program here differs from the named installer in every field the passes read.
TEST(PassesByPath, ReadTheNamedInstallerAndNeverTheRunningProgram) {
    UseInstaller("running.exe", ThreeMembers());
    TestPackage named_package;
    named_package.agreement = "Other terms";
    named_package.name = "Other";
    named_package.top_color = 0x00ABCDEF;
    named_package.first_media_number = 9;
    named_package.members = {Stored(7), Stored(9)};
    const std::string named = WriteSyntheticInstaller("named.exe", named_package);
    // The installer's own passes refuse a name of 256 characters or more; these take it.
    const std::filesystem::path deep_folder =
        std::filesystem::path(named).parent_path() / std::string(120, 'd') / std::string(120, 'e');
    std::filesystem::create_directories(deep_folder);
    const std::string deep = (deep_folder / "named.exe").string();
    std::filesystem::copy_file(named, deep);
    ASSERT_GT(deep.size(), 255u);

    for (const std::string& path : {named, deep}) {
        SCOPED_TRACE(path);
        PackageHeader header{};
        EXPECT_TRUE(ReadPackageHeaderOf(path.c_str(), &header));
        EXPECT_STREQ(header.ScreenSaverName, "Other");
        EXPECT_EQ(header.NeedsDirectX, 0u);
        EXPECT_EQ(header.TopColor, 0x00ABCDEFu);
        uint32_t total = 0;
        EXPECT_TRUE(SumMemberSizesOf(path.c_str(), &total));
        EXPECT_EQ(total, 16u);
        AgreementText agreement;
        ASSERT_TRUE(ReadAgreementTextOf(path.c_str(), &agreement));
        EXPECT_STREQ(agreement.text, "Other terms");
        ReleaseAgreementText(&agreement);
        uint16_t first_media_number = 0;
        const FileHandle table = OpenMemberTableOf(path.c_str(), &first_media_number);
        ASSERT_NE(table, kNoFile);
        EXPECT_EQ(first_media_number, 9);
        MemberEntry entry{};
        EXPECT_TRUE(ReadMemberEntry(table, &entry));
        EXPECT_EQ(entry.StoredSize, 7u);
        PlatClose(table);
    }
    PackageHeader own{};
    EXPECT_TRUE(ReadPackageHeader(&own));
    EXPECT_STREQ(own.ScreenSaverName, "Northern Lights");
}

TEST(PassesByPath, FindNothingInAMissingOrCutInstallerBesideAGoodRunningProgram) {
    UseInstaller("running.exe", ThreeMembers());
    uint32_t offset = 0;
    const std::vector<uint8_t> bytes = InstallerBytes(ThreeMembers(), &offset);
    const std::string cut =
        WriteTempFile("cut-named.exe", std::vector<uint8_t>(bytes.begin(), bytes.begin() + offset));
    for (const std::string& path : {std::string("/nonexistent/named.exe"), cut}) {
        SCOPED_TRACE(path);
        PackageHeader header{};
        EXPECT_FALSE(ReadPackageHeaderOf(path.c_str(), &header));
        uint32_t total = 1;
        EXPECT_FALSE(SumMemberSizesOf(path.c_str(), &total));
        EXPECT_EQ(total, 0u);
        AgreementText agreement;
        EXPECT_FALSE(ReadAgreementTextOf(path.c_str(), &agreement));
        EXPECT_EQ(agreement.text, nullptr);
        uint16_t first_media_number = 0;
        EXPECT_EQ(OpenMemberTableOf(path.c_str(), &first_media_number), kNoFile);
    }
}

} // namespace
