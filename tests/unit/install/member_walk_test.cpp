#include "install/member_walk.h"

#include "install/installer_state.h"
#include "package/package_locator.h"
#include "package/package_reading.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t at = 0; at < size; ++at)
        bytes[at] = static_cast<uint8_t>(seed + at * 7 + at / 251);
    return bytes;
}

TestMember Stored(size_t size, uint8_t seed, const std::string& suffix = "") {
    TestMember member;
    member.data = Pattern(size, seed);
    member.suffix = suffix;
    return member;
}

TestMember Compressed(size_t size, uint8_t seed, const std::string& suffix = "") {
    TestMember member;
    const std::vector<uint8_t> plain = Pattern(size, seed);
    member.data = EncodeStream(plain, CompressionLevel::Default);
    member.unpacked_size = static_cast<uint32_t>(size);
    member.suffix = suffix;
    return member;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Everything the walk tells the run, in the order it happens.
struct Recorder {
    std::vector<std::string> events;
    std::vector<int32_t> protected_at_poll;
    bool uninstaller_existed_at_registration = true;
    bool lose_package_at_next_poll = false;
};
Recorder* recorder = nullptr;

void Register(void* context, const char* path) {
    auto* r = static_cast<Recorder*>(context);
    r->events.push_back(std::string("register ") + path);
    r->uninstaller_existed_at_registration = fs::exists(path);
}
void Log(void* context, const char* path) {
    auto* r = static_cast<Recorder*>(context);
    r->events.push_back(std::string("log ") + path);
}
void Probe(void* context, const char* path) {
    static_cast<Recorder*>(context)->events.push_back(std::string("probe ") + path);
}
bool Poll() {
    recorder->protected_at_poll.push_back(ProtectedMember);
    if (recorder->lose_package_at_next_poll) {
        PlatSetModuleFileName("/nonexistent/installer.exe");
        recorder->lose_package_at_next_poll = false;
    }
    return AbortRequested != 0 && ProtectedMember == 0;
}

class MemberWalk : public testing::Test {
  protected:
    void SetUp() override {
        recorder = &record;
        AbortRequested = 0;
        ProtectedMember = 0;
        package.name = "Aurora";
        package.first_media_number = 51;
    }
    void TearDown() override {
        recorder = nullptr;
        AbortRequested = 0;
        ProtectedMember = 0;
    }

    // Writes the installer (the package, or the given bytes) and walks its member table into a
    // fresh folder beside it.
    MemberWalkResult Walk(bool (*poll)() = Poll, const std::vector<uint8_t>* bytes = nullptr) {
        PlatSetModuleFileName(Write(bytes).c_str());
        return WalkStarted(poll);
    }

    std::string Write(const std::vector<uint8_t>* bytes = nullptr) {
        installer = bytes ? WriteTempFile("installer.exe", *bytes)
                          : WriteSyntheticInstaller("installer.exe", package);
        return installer;
    }

    // The walk of the installer that the module file name names.
    MemberWalkResult WalkStarted(bool (*poll)() = Poll) {
        const std::string beside = fs::path(installer).parent_path().string();
        folder = beside + "/shared/";
        fs::remove_all(folder);
        fs::create_directories(folder);
        if (screen_saver.empty()) {
            screen_saver = beside + "/Aurora.scr";
            fs::remove(screen_saver);
        }
        // A destination on a full disk: /dev/full takes no byte.
        if (!full_file.empty()) {
            fs::remove(full_file);
            fs::create_symlink("/dev/full", full_file);
        }
        if (shared_folder.empty()) shared_folder = folder;
        const InstallNames names = {"Aurora", screen_saver.c_str(), shared_folder.c_str()};
        const MemberWalkHooks hooks = {&record, LocatePackage, Register, Log, Probe, poll};
        uint16_t first_media_number = 0;
        const FileHandle table = OpenMemberTable(&first_media_number);
        uint8_t copy_buffer[2048];
        result = WalkMemberTable(table, first_media_number, copy_buffer, names, hooks);
        if (result.package != kNoFile) PlatClose(result.package);
        return result;
    }

    TestPackage package;
    std::string installer;
    Recorder record;
    MemberWalkResult result{};
    std::string folder;
    std::string shared_folder; // the names' folder; the real one unless a test sets it
    std::string screen_saver;  // the screen saver's destination; beside the installer unless set
    std::string full_file;     // a destination whose writes fail, as on a full disk
};

TEST_F(MemberWalk, InstallsEveryMemberInTableOrder) {
    package.members = {Stored(5000, 1), Compressed(70000, 2), Stored(4096, 3),
                       Compressed(3000, 4, ".MID"), Stored(10, 5, ".wav")};
    package.members[4].prefix_kind = '_';
    EXPECT_TRUE(Walk().reached_end);
    EXPECT_EQ(result.passed_over, 0u);

    const std::vector<std::string> expected = {
        "log " + screen_saver,
        "log " + folder + "Aurora.dat",
        "register " + folder + "UNINSTAL.EXE",
        "log " + folder + "UNINSTAL.EXE",
        "log " + folder + "FILE0051.MID",
        "probe " + folder + "FILE0051.MID",
        "log " + folder + "JUK_0052.wav",
        "probe " + folder + "JUK_0052.wav",
    };
    EXPECT_EQ(record.events, expected);
    EXPECT_FALSE(record.uninstaller_existed_at_registration);

    EXPECT_EQ(ReadAll(screen_saver), Pattern(5000, 1));
    EXPECT_EQ(ReadAll(folder + "Aurora.dat"), Pattern(70000, 2));
    EXPECT_EQ(ReadAll(folder + "UNINSTAL.EXE"), Pattern(4096, 3));
    EXPECT_EQ(ReadAll(folder + "FILE0051.MID"), Pattern(3000, 4));
    EXPECT_EQ(ReadAll(folder + "JUK_0052.wav"), Pattern(10, 5));
}

// A running installer can be renamed and another one put at its name (by a process of the same
// user, after the elevation was approved for the original): the files installed are the
// started one's, stored and compressed alike, and so is every pass before the run.
TEST_F(MemberWalk, InstallsFromTheInstallerThatWasStartedWhateverLaterLiesAtItsName) {
    package.members = {Stored(5000, 1), Compressed(70000, 2), Stored(4096, 3)};
    PlatSetModuleFileName(Write().c_str());
    uint32_t total = 0;
    ASSERT_TRUE(SumMemberSizes(&total)); // the first pass, as at the installer's start
    EXPECT_EQ(total, 5000u + 70000u + 4096u);

    fs::rename(installer, installer + ".moved");
    const TestPackage started = package;
    package.members = {Stored(6000, 7), Compressed(80000, 8), Stored(5000, 9)};
    Write();
    package = started;

    ASSERT_TRUE(SumMemberSizes(&total));
    EXPECT_EQ(total, 5000u + 70000u + 4096u);
    EXPECT_TRUE(WalkStarted().reached_end);
    EXPECT_EQ(ReadAll(screen_saver), Pattern(5000, 1));
    EXPECT_EQ(ReadAll(folder + "Aurora.dat"), Pattern(70000, 2));
    EXPECT_EQ(ReadAll(folder + "UNINSTAL.EXE"), Pattern(4096, 3));
}

void Visit(void* context, const char* path) {
    static_cast<std::vector<std::string>*>(context)->push_back(std::string("log ") + path);
}

// A write that fails stops the walk at that member, whichever it is and on either path: it is
// logged (the uninstaller must find a part-written file), but nothing after it is registered,
// logged, extracted or probed. The walk names the member, and the files up to it are the ones
// the run takes back.
TEST_F(MemberWalk, AWriteThatFailsStopsTheWalkAtThatMember) {
    package.members = {Stored(5000, 1), Compressed(70000, 2), Stored(4096, 3),
                       Compressed(3000, 4, ".MID"), Stored(10, 5, ".wav")};
    Walk();
    const std::vector<std::string> whole = record.events;
    const std::vector<std::string> destinations = {screen_saver, folder + "Aurora.dat",
                                                   folder + "UNINSTAL.EXE", folder + "FILE0051.MID",
                                                   folder + "FILE0052.wav"};
    for (uint32_t failing = 0; failing < destinations.size(); ++failing) {
        record = Recorder{};
        full_file = destinations[failing];
        Walk();
        EXPECT_TRUE(result.write_failed) << failing;
        EXPECT_FALSE(result.reached_end) << failing;
        EXPECT_EQ(result.last_member, failing);
        // Everything up to the failing member's log line, as in a whole walk, and no more.
        const auto logged = std::find(whole.begin(), whole.end(), "log " + destinations[failing]);
        ASSERT_NE(logged, whole.end());
        EXPECT_EQ(record.events, std::vector<std::string>(whole.begin(), logged + 1)) << failing;

        std::vector<std::string> taken_back;
        const InstallNames names = {"Aurora", screen_saver.c_str(), shared_folder.c_str()};
        ForEachMemberDestination(result.last_member, names, Visit, &taken_back);
        std::vector<std::string> logged_files;
        for (const std::string& event : record.events)
            if (event.starts_with("log ")) logged_files.push_back(event);
        EXPECT_EQ(taken_back, logged_files) << failing;
        fs::remove(full_file);
    }
}

TEST_F(MemberWalk, OnlyTheUninstallerIsProtected) {
    package.members = {Stored(100, 1), Stored(100, 2), Stored(100, 3), Stored(100, 4)};
    Walk();
    // One poll per small member, right after its first chunk.
    EXPECT_EQ(record.protected_at_poll, (std::vector<int32_t>{0, 0, 1, 0}));
}

TEST_F(MemberWalk, AfterAnAbortEveryMemberIsStillCreatedAndLoggedButNotProbed) {
    package.members = {Stored(10000, 1), Compressed(50000, 2), Stored(10000, 3),
                       Stored(10000, 4, ".MID"), Compressed(50000, 5, ".MID")};
    AbortRequested = 1;
    EXPECT_TRUE(Walk().reached_end);
    EXPECT_EQ(ReadAll(screen_saver).size(), 2048u);
    EXPECT_EQ(ReadAll(folder + "Aurora.dat").size(), 0u);
    EXPECT_EQ(ReadAll(folder + "UNINSTAL.EXE"), Pattern(10000, 3));
    EXPECT_EQ(ReadAll(folder + "FILE0051.MID").size(), 2048u);
    EXPECT_TRUE(fs::exists(folder + "FILE0052.MID"));
    for (const std::string& event : record.events)
        EXPECT_NE(event.rfind("probe", 0), 0u) << event;
    EXPECT_EQ(record.events.size(), 6u); // five log lines and the registration
}

TEST_F(MemberWalk, PackageWithTwoMembersRegistersAndProbesNothing) {
    package.members = {Stored(10, 1), Stored(10, 2)};
    EXPECT_TRUE(Walk().reached_end);
    EXPECT_EQ(record.events,
              (std::vector<std::string>{"log " + screen_saver, "log " + folder + "Aurora.dat"}));
}

TEST_F(MemberWalk, EmptyTableInstallsNothing) {
    EXPECT_TRUE(Walk().reached_end);
    EXPECT_TRUE(record.events.empty());
}

TEST_F(MemberWalk, PackageThatCannotBeLocatedEndsTheWalkAtOnce) {
    const MemberWalkHooks hooks = {&record, LocatePackage, Register, Log, Probe, Poll};
    const InstallNames names = {"Aurora", "/tmp/x.scr", "/tmp/"};
    uint8_t copy_buffer[2048];
    const MemberWalkResult lost = WalkMemberTable(kNoFile, 1, copy_buffer, names, hooks);
    EXPECT_FALSE(lost.reached_end);
    EXPECT_EQ(lost.package, kNoFile);
    EXPECT_TRUE(record.events.empty());
}

bool LoseThePackageDuringMemberOne() {
    // Member 0 polls once; from the poll of member 1 on, the installer file cannot be found,
    // so the package cannot be located again after that compressed member.
    if (recorder->protected_at_poll.size() == 1) recorder->lose_package_at_next_poll = true;
    return Poll();
}

TEST_F(MemberWalk, PackageLostAfterACompressedMemberEndsTheWalkWithThatMemberLogged) {
    package.members = {Stored(10, 1), Compressed(3000, 2), Stored(10, 3), Stored(10, 4, ".x")};
    EXPECT_FALSE(Walk(LoseThePackageDuringMemberOne).reached_end);
    EXPECT_EQ(result.package, kNoFile);
    EXPECT_EQ(record.events,
              (std::vector<std::string>{"log " + screen_saver, "log " + folder + "Aurora.dat"}));
    EXPECT_EQ(ReadAll(folder + "Aurora.dat"), Pattern(3000, 2));
    EXPECT_FALSE(fs::exists(folder + "UNINSTAL.EXE"));
}

TEST_F(MemberWalk, EntryCutShortEndsTheWalk) {
    package.members = {Stored(10, 1), Stored(10, 2), Stored(10, 3)};
    BuiltPe pe = BuildSyntheticPe({});
    std::vector<uint8_t> body = SerializePackage(package, pe.package_offset);
    // Keep the header, the first entry and half of the second; the data are gone.
    body.resize(2 + 260 + 16 + 28 + 14);
    pe.bytes.insert(pe.bytes.end(), body.begin(), body.end());
    EXPECT_FALSE(Walk(Poll, &pe.bytes).reached_end);
    // The first member's data lie past the end: its file is created empty and logged.
    EXPECT_EQ(record.events, (std::vector<std::string>{"log " + screen_saver}));
    EXPECT_EQ(ReadAll(screen_saver).size(), 0u);
}

TEST_F(MemberWalk, MemberWhoseDestinationDoesNotFitIsPassedOver) {
    package.members = {Stored(10, 1), Stored(10, 2), Stored(10, 3), Stored(10, 4, "._long_suffix_"),
                       Stored(10, 5, ".x")};
    // A folder name that leaves room for "UNINSTAL.EXE" but not "FILE0051._long_suffix_".
    // It need not exist: only the walk's decisions are looked at.
    const std::string base = "/nonexistent/";
    const size_t room = kPathSize - 1 - std::string("UNINSTAL.EXE").size();
    shared_folder = base + std::string(room - base.size() - 1, 'f') + "/";
    ASSERT_EQ(shared_folder.size(), room);
    EXPECT_TRUE(Walk().reached_end);
    EXPECT_EQ(result.passed_over, 1u);
    std::vector<std::string> logged;
    for (const std::string& event : record.events)
        if (event.rfind("log ", 0) == 0) logged.push_back(event.substr(4));
    EXPECT_EQ(logged, (std::vector<std::string>{screen_saver, shared_folder + "Aurora.dat",
                                                shared_folder + "UNINSTAL.EXE",
                                                shared_folder + "FILE0052.x"}));
}

} // namespace
