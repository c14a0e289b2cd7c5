// Damaged installers through the installer's own passes and its member loop: each must end
// with the documented result (a refusal, or the bytes the file holds) and never read out of
// bounds; the sanitize preset runs these under AddressSanitizer and UBSan.
#include "decode/member_extraction.h"
#include "install/installer_state.h"
#include "install/member_walk.h"
#include "package/package_locator.h"
#include "package/package_reading.h"
#include "robustness/damaged_installers.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <optional>
#include <set>

namespace {

const GoodInstaller& Good() {
    static const GoodInstaller good = BuildGoodInstaller();
    return good;
}

const std::vector<DamagedInstaller>& Damaged() {
    static const std::vector<DamagedInstaller> damaged = MakeDamagedInstallers(Good());
    return damaged;
}

const DamagedInstaller& Find(const std::string& name) {
    for (const DamagedInstaller& damaged : Damaged())
        if (damaged.name == name) return damaged;
    ADD_FAILURE() << "no damaged installer named " << name;
    static const DamagedInstaller none;
    return none;
}

bool GoOn() {
    return false;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void IgnorePath(void*, const char*) {}

// What the installation run's own member loop wrote: every member it gave to extraction, with
// the bytes its file held once the member was written.
struct LoopResult {
    std::vector<std::string> destinations;                  // in the loop's order
    std::vector<std::optional<std::vector<uint8_t>>> files; // nullopt: no file was there
    bool reached_end = false;
};

std::optional<std::vector<uint8_t>> WrittenFile(const std::string& destination) {
    if (!std::filesystem::is_regular_file(destination)) return std::nullopt;
    return ReadFile(destination);
}

// A member is logged just before it is written, so the file of the member before it is
// complete here: it is read now, before a later member of the same name can replace it.
void TakeFinishedMember(void* context, const char* destination) {
    LoopResult& result = *static_cast<LoopResult*>(context);
    if (!result.destinations.empty())
        result.files.push_back(WrittenFile(result.destinations.back()));
    result.destinations.push_back(destination);
}

// The installation run's member loop itself (WalkMemberTable), with its destinations in a
// scratch folder: the loop is run, not restated, so a change to it is what these tests see.
LoopResult RunMemberLoop(const std::filesystem::path& scratch) {
    LoopResult result;
    std::filesystem::create_directories(scratch);
    const std::string folder = scratch.string() + "/";
    const std::string screen_saver = folder + "Aurora Drift.scr";
    const InstallNames names{"Aurora Drift", screen_saver.c_str(), folder.c_str()};
    const MemberWalkHooks hooks{&result,    LocatePackage, IgnorePath, TakeFinishedMember,
                                IgnorePath, GoOn};
    AbortRequested = 0;
    uint16_t first_media_number = 0;
    static uint8_t copy_buffer[kCopyBufferSize];
    const MemberWalkResult walk = WalkMemberTable(OpenMemberTable(&first_media_number),
                                                  first_media_number, copy_buffer, names, hooks);
    if (walk.package != kNoFile) PlatClose(walk.package);
    if (!result.destinations.empty())
        result.files.push_back(WrittenFile(result.destinations.back()));
    result.reached_end = walk.reached_end;
    return result;
}

void UseInstaller(const DamagedInstaller& installer) {
    PlatSetModuleFileName(WriteTempFile(installer.name + ".exe", installer.bytes).c_str());
}

void CheckPasses(const DamagedInstaller& installer) {
    SCOPED_TRACE(installer.name);
    UseInstaller(installer);

    const FileHandle located = LocatePackage();
    EXPECT_EQ(located != kNoFile, installer.locates);
    if (located != kNoFile) PlatClose(located);

    PackageHeader header{};
    std::memset(&header, 0x5A, sizeof header);
    const PackageHeader untouched = header;
    EXPECT_EQ(ReadPackageHeader(&header), installer.header_read);
    if (installer.header_read) {
        const size_t length = strnlen(header.ScreenSaverName, sizeof header.ScreenSaverName);
        EXPECT_LT(length, sizeof header.ScreenSaverName) << "the name must end inside its field";
    } else {
        EXPECT_EQ(std::memcmp(&header, &untouched, sizeof header), 0);
    }

    uint32_t total = 12345;
    EXPECT_EQ(SumMemberSizes(&total), installer.total.has_value());
    EXPECT_EQ(total, installer.total.value_or(0));

    AgreementText agreement;
    EXPECT_EQ(ReadAgreementText(&agreement), installer.agreement);
    if (agreement.text != nullptr) {
        const uint16_t length =
            static_cast<uint16_t>(installer.bytes[Good().layout.package] |
                                  installer.bytes[Good().layout.package + 1] << 8);
        EXPECT_EQ(agreement.text[length], '\0');
        ReleaseAgreementText(&agreement);
    }

    uint16_t first_media_number = 0;
    const FileHandle table = OpenMemberTable(&first_media_number);
    EXPECT_EQ(table != kNoFile, installer.table_opens);
    if (table != kNoFile) PlatClose(table);
}

void CheckMemberLoop(const DamagedInstaller& installer) {
    SCOPED_TRACE(installer.name);
    UseInstaller(installer);
    const std::filesystem::path scratch = UnitTempFolder() / "robustness-scratch" / installer.name;
    std::filesystem::remove_all(scratch);
    const LoopResult result = RunMemberLoop(scratch);

    EXPECT_EQ(result.reached_end, installer.walk_reaches_end);
    ASSERT_EQ(result.files.size(), installer.members.size());
    for (size_t i = 0; i < result.files.size(); ++i) {
        SCOPED_TRACE("member " + std::to_string(i) + ", " + result.destinations[i]);
        ASSERT_TRUE(result.files[i].has_value()) << "no file was written";
        EXPECT_EQ(result.files[i]->size(), installer.members[i].size);
        if (installer.members[i].check_content) {
            EXPECT_TRUE(*result.files[i] == installer.members[i].content);
        }
    }
    // Nothing but the members' files appears in the scratch folder.
    const std::set<std::filesystem::path> destinations(result.destinations.begin(),
                                                       result.destinations.end());
    for (const auto& found : std::filesystem::directory_iterator(scratch))
        EXPECT_EQ(destinations.count(found.path()), 1u) << found.path();
    std::filesystem::remove_all(scratch);
}

// The installation run's own member walk, with its destinations in a scratch folder.
struct WalkLog {
    std::vector<std::string> written;
};

void LogMember(void* context, const char* destination) {
    static_cast<WalkLog*>(context)->written.push_back(destination);
}

void CheckInstallersWalk(const DamagedInstaller& installer) {
    SCOPED_TRACE(installer.name);
    UseInstaller(installer);
    const std::filesystem::path scratch = UnitTempFolder() / "robustness-walk" / installer.name;
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const std::string folder = scratch.string() + "/";
    const std::string screen_saver = folder + "Aurora Drift.scr";
    const InstallNames names{"Aurora Drift", screen_saver.c_str(), folder.c_str()};
    WalkLog log;
    const MemberWalkHooks hooks{&log, LocatePackage, IgnorePath, LogMember, IgnorePath, GoOn};
    AbortRequested = 0;
    uint16_t first_media_number = 0;
    static uint8_t copy_buffer[kCopyBufferSize];
    const MemberWalkResult result = WalkMemberTable(OpenMemberTable(&first_media_number),
                                                    first_media_number, copy_buffer, names, hooks);
    if (result.package != kNoFile) PlatClose(result.package);

    EXPECT_EQ(result.reached_end, installer.walk_reaches_end);
    ASSERT_EQ(log.written.size(), installer.members.size());
    for (size_t i = 0; i < log.written.size(); ++i) {
        SCOPED_TRACE(log.written[i]);
        EXPECT_EQ(std::filesystem::path(log.written[i]).parent_path(), scratch);
        // A later member of the same name replaces the file; compare only the last writer.
        if (std::count(log.written.begin() + static_cast<std::ptrdiff_t>(i) + 1, log.written.end(),
                       log.written[i]) != 0)
            continue;
        EXPECT_EQ(std::filesystem::file_size(log.written[i]), installer.members[i].size);
        if (installer.members[i].check_content) {
            EXPECT_TRUE(ReadFile(log.written[i]) == installer.members[i].content);
        }
    }
    std::filesystem::remove_all(scratch);
}

TEST(DamagedInstallers, GeneratorMakesFiftyDistinctInstallersOfEveryClass) {
    std::set<std::string> names;
    std::map<std::string, int> per_class;
    for (const DamagedInstaller& damaged : Damaged()) {
        EXPECT_TRUE(names.insert(damaged.name).second) << damaged.name;
        EXPECT_NE(damaged.bytes, Good().bytes) << damaged.name;
        ++per_class[damaged.damage_class];
    }
    EXPECT_GE(Damaged().size(), 50u);
    for (const char* damage_class :
         {"cut short", "offset or size past the end", "agreement length 65535",
          "no terminating entry", "name without NUL", "UnpackedSize 0xFFFFFFFF",
          "DataOffset into header or table", "compressed stream of random bytes"})
        EXPECT_GT(per_class[damage_class], 0) << damage_class;
}

TEST(DamagedInstallers, TheGoodInstallerReadsWholeAndExtractsByteForByte) {
    const DamagedInstaller good = Undamaged(Good());
    ASSERT_TRUE(good.locates && good.header_read && good.agreement && good.walk_reaches_end);
    ASSERT_EQ(good.total, Good().total);
    ASSERT_EQ(good.members.size(), Good().members.size());
    for (size_t i = 0; i < good.members.size(); ++i) {
        EXPECT_TRUE(good.members[i].check_content);
        EXPECT_EQ(good.members[i].content, Good().members[i].content) << i;
    }
    CheckPasses(good);
    CheckMemberLoop(good);

    UseInstaller(good);
    PackageHeader header{};
    ReadPackageHeader(&header);
    EXPECT_STREQ(header.ScreenSaverName, "Aurora Drift");
}

// The expectations come from the format applied to each damaged file; these anchor them to
// what the damage must mean, so that a wrong expectation cannot hide a wrong result.
TEST(DamagedInstallers, ExpectationsMatchWhatEachDamageMeans) {
    const GoodInstaller& good = Good();
    EXPECT_FALSE(Find("cut-data-entry-at-" + std::to_string(good.layout.data_entry + 8)).locates);
    const DamagedInstaller& in_table =
        Find("cut-entry2-at-" + std::to_string(good.members[2].entry_offset + 14));
    EXPECT_TRUE(in_table.header_read);
    EXPECT_FALSE(in_table.total.has_value());
    // The data follow the table, so the first member's bytes are gone and the loop ends.
    ASSERT_EQ(in_table.members.size(), 1u);
    EXPECT_TRUE(in_table.members[0].cut_short);
    EXPECT_FALSE(in_table.walk_reaches_end);

    const DamagedInstaller& in_data =
        Find("cut-member3-data-at-" +
             std::to_string(good.members[3].data_offset + good.members[3].stored_size / 2));
    EXPECT_EQ(in_data.total, good.total);
    // Members 0 to 2 whole, member 3 written as far as the file goes, then the loop ends.
    ASSERT_EQ(in_data.members.size(), 4u);
    for (size_t i : {0, 1, 2}) {
        EXPECT_EQ(in_data.members[i].content, good.members[i].content);
        EXPECT_FALSE(in_data.members[i].cut_short);
    }
    EXPECT_EQ(in_data.members[3].size, good.members[3].content.size());
    EXPECT_FALSE(in_data.members[3].check_content);
    EXPECT_TRUE(in_data.members[3].cut_short);
    EXPECT_FALSE(in_data.walk_reaches_end);

    EXPECT_EQ(Find("unpacked-size-ffffffff").members.at(1).size, 0u);
    EXPECT_EQ(Find("member0-offset-past-end").members.at(0).size, 0u);
    EXPECT_EQ(Find("member1-offset-past-end").members.at(1).size, good.members[1].content.size());
    EXPECT_EQ(Find("first-member-stored-size-4-gib").members.at(0).size,
              good.bytes.size() - good.members[0].data_offset);
    // Restored whole, but the entry claims bytes the file does not hold: the package is damaged.
    EXPECT_EQ(Find("compressed-stored-size-2-gib").members.at(1).content, good.members[1].content);
    EXPECT_TRUE(Find("compressed-stored-size-2-gib").members.at(1).cut_short);
    EXPECT_FALSE(Find("agreement-length-65535").header_read);
    EXPECT_TRUE(Find("agreement-length-to-end-of-file").agreement);
    EXPECT_FALSE(Find("agreement-length-to-end-of-file").header_read);
    EXPECT_FALSE(Find("table-ends-at-end-of-file").walk_reaches_end);
    // The file ends with the table: the first member's data are gone and the loop ends there.
    EXPECT_EQ(Find("table-ends-at-end-of-file").members.size(), 1u);
    EXPECT_EQ(Find("terminator-replaced-and-data-gone").members.size(), 1u);
    EXPECT_TRUE(Find("terminator-replaced-and-data-gone").members.at(0).cut_short);
    EXPECT_EQ(Find("random-stream-200k").members.at(3).size, 200000u);
    EXPECT_FALSE(Find("package-start-past-end").locates);
}

TEST(DamagedInstallers, PassesEndWithTheDocumentedResult) {
    for (const DamagedInstaller& damaged : Damaged())
        CheckPasses(damaged);
}

TEST(DamagedInstallers, MemberLoopWritesWhatTheFileHoldsAndNothingMore) {
    for (const DamagedInstaller& damaged : Damaged())
        CheckMemberLoop(damaged);
}

TEST(DamagedInstallers, TheInstallationRunsOwnWalkWritesTheSame) {
    CheckInstallersWalk(Undamaged(Good()));
    for (const DamagedInstaller& damaged : Damaged())
        CheckInstallersWalk(damaged);
}

TEST(DamagedInstallers, ANameWithoutNulIsCutToItsFirst259Characters) {
    UseInstaller(Find("screen-saver-name-without-nul"));
    PackageHeader header{};
    ReadPackageHeader(&header);
    EXPECT_EQ(std::string(header.ScreenSaverName), std::string(259, 'N'));
}

} // namespace
