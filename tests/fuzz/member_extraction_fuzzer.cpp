// The member-table walk and the extraction of every member into a scratch folder, over an
// arbitrary file standing for the installer. The loop keeps the installation run's contract:
// the handle stands after each entry, is closed around a compressed member and located
// afresh after it, and is moved back to the remembered position before the next entry.
//
// Then the installation run's own walk (WalkMemberTable) goes over the same file, with its
// destinations in the scratch folder, so that its handling of the handle and the names is
// fuzzed too.
//
// What must hold besides the sanitizers' silence: a member never yields more than its
// declared size; with nothing stopping it, a compressed member yields exactly its unpacked
// size and a stored one exactly the bytes the file holds for it (up to StoredSize), and
// extraction says "cut short" exactly for members whose stored bytes run past the file.
//
// The input's member table is bounded first (input_bounds.h: at most 8 members, unpacked
// sizes its bytes can pay for), so that a file of a few KB cannot ask for gigabytes. Bounded
// members stay below the poll interval, so each polls once, after its first chunk or symbol;
// the poll answers stop from a poll that the input's length picks (lengths of 1 to 8 modulo
// 16 stop at that poll, all others never), as after a confirmed Cancel: the members from then
// on end after their first chunk or symbol.
#include "decode/member_extraction.h"
#include "fuzz_support.h"
#include "install/installer_state.h"
#include "install/member_walk.h"
#include "package/package_locator.h"
#include "package/package_reading.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

int stop_at_poll = 0; // 0: never
int polls = 0;
bool member_stopped = false;

void StartPolls(size_t input_size) {
    const int pick = static_cast<int>(input_size % 16);
    stop_at_poll = pick <= static_cast<int>(fuzz::kMaxMembers) ? pick : 0;
    polls = 0;
    member_stopped = false;
}

// Whether the poll answers stop at once from now on.
bool Stopping() {
    return stop_at_poll != 0 && polls >= stop_at_poll;
}

bool Poll() {
    ++polls;
    member_stopped = Stopping();
    return member_stopped;
}

int64_t FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

void CheckMember(const MemberEntry& entry, const std::string& destination, int64_t installer_size) {
    const int64_t written = FileSize(destination);
    if (written < 0) std::abort(); // the scratch folder always accepts the file
    if (IsCompressed(entry)) {
        const int64_t expected = entry.UnpackedSize >= 0x80000000u ? 0 : entry.UnpackedSize;
        if (written > expected) std::abort();
        if (!member_stopped && written != expected) std::abort();
        if (member_stopped && written != expected && written % 16384 != 0) std::abort();
    } else {
        const int64_t available = entry.DataOffset > 0x7FFFFFFFu
                                      ? 0
                                      : std::max<int64_t>(0, installer_size - entry.DataOffset);
        const int64_t expected = std::min<int64_t>(entry.StoredSize, available);
        if (written > expected) std::abort();
        if (!member_stopped && written != expected) std::abort();
    }
}

void IgnorePath(void*, const char*) {}

void RunInstallersWalk(uint8_t* copy_buffer, size_t input_size) {
    static const std::string folder = fuzz::ScratchFolder() + "/walk/";
    static const std::string screen_saver = folder + "Saver.scr";
    // Media numbers come from the input, so every run may name new files: start empty.
    std::filesystem::remove_all(folder);
    if (mkdir(folder.c_str(), 0700) != 0) return;
    const InstallNames names{"Saver", screen_saver.c_str(), folder.c_str()};
    const MemberWalkHooks hooks{nullptr, LocatePackage, IgnorePath, IgnorePath, IgnorePath, Poll};
    StartPolls(input_size);
    AbortRequested = 0;
    uint16_t first_media_number = 0;
    const FileHandle package = OpenMemberTable(&first_media_number);
    const MemberWalkResult result =
        WalkMemberTable(package, first_media_number, copy_buffer, names, hooks);
    if (result.package != kNoFile) PlatClose(result.package);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchFolder() + "/installer.exe";
    std::vector<uint8_t> installer(data, data + size);
    if (!fuzz::WriteBoundedInstaller(path, installer)) return 0;
    StartPolls(size);

    static uint8_t copy_buffer[kCopyBufferSize];
    uint16_t first_media_number = 0;
    FileHandle package = OpenMemberTable(&first_media_number);
    if (package == kNoFile) return 0;
    MemberEntry entry;
    // The bounded table ends after fuzz::kMaxMembers entries at the latest.
    for (int index = 0; ReadMemberEntry(package, &entry) && entry.StoredSize != 0; ++index) {
        if (index >= static_cast<int>(fuzz::kMaxMembers)) std::abort();
        const int32_t next_entry = PlatSeek(package, 0, kFromCurrent);
        if (next_entry == -1) break;
        const std::string destination = fuzz::ScratchFolder() + "/member" + std::to_string(index);
        member_stopped = Stopping();
        ExtractResult extracted;
        if (IsCompressed(entry)) {
            PlatClose(package);
            extracted = ExtractMember(kNoFile, copy_buffer, entry, destination.c_str(), Poll);
            package = LocatePackage();
            if (package == kNoFile) std::abort(); // the same file located a moment ago
        } else {
            extracted = ExtractMember(package, copy_buffer, entry, destination.c_str(), Poll);
        }
        // The installer's own name is always known here, so the answer is 1 or "cut short",
        // and "cut short" exactly when the member's stored bytes run past the end of the file
        // (unless the poll stopped the member first, which is not judged).
        const bool past_end = uint64_t{entry.DataOffset} + entry.StoredSize > size;
        if (extracted != kMemberHandled && extracted != kMemberCutShort) std::abort();
        if (extracted == kMemberCutShort && !past_end) std::abort();
        if (!member_stopped && past_end && extracted != kMemberCutShort) std::abort();
        CheckMember(entry, destination, static_cast<int64_t>(size));
        if (PlatSeek(package, next_entry, kFromStart) != next_entry) std::abort();
    }
    PlatClose(package);
    RunInstallersWalk(copy_buffer, size);
    return 0;
}
