#include "tools/lmvpack/installer/installer_reader.h"

#include "package/package_locator.h"
#include "package/package_reading.h"
#include "platform/file_api.h"
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/support/file_streams.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw InstallerError(path + ": " + why);
}

// Whether the 260-byte name field holds its terminating NUL.
bool NameIsTerminated(const std::string& path, uint64_t at) {
    const StreamCloser file(OpenStream(path, "rb"));
    char field[kScreenSaverNameSize];
    return file.get() != nullptr && SeekStream(file.get(), at) &&
           std::fread(field, 1, sizeof field, file.get()) == sizeof field &&
           std::memchr(field, 0, sizeof field) != nullptr;
}

// The relations every package that lmvpack build writes keeps, whatever became of the file
// since: a terminated name, the first member's data after the member table, and each member's
// data after the one before, and inside the file unless it follows on from the one before.
// A damaged download breaks one or two of them (an offset that points elsewhere breaks its own
// and the next member's; a file cut short breaks none, its offsets still follow each other);
// the bytes of a program's own first resource, read as a package, break most. The count of
// those broken.
size_t BrokenRelations(const InstallerListing& listing, bool name_terminated) {
    size_t broken = name_terminated ? 0 : 1;
    uint64_t earliest = listing.table_end;
    for (const ListedMember& member : listing.members) {
        const uint64_t offset = member.entry.DataOffset;
        if (offset < earliest || (offset > earliest && offset >= listing.file_size)) ++broken;
        earliest = offset + member.entry.StoredSize;
    }
    return broken;
}

} // namespace

InstallerListing ReadInstaller(const std::string& path) {
    InstallerListing listing;
    listing.path = path;
    std::error_code error;
    if (!fs::exists(path, error)) Fail(path, "no such file");
    if (!fs::is_regular_file(path, error)) Fail(path, "not a regular file");
    listing.file_size = fs::file_size(path, error);
    if (error) Fail(path, "cannot read: " + error.message());

    FileHandle package = LocatePackageInFile(path.c_str());
    if (package == kNoFile)
        Fail(path, "not an installer: no package resource found (not a PE file, no \".rsrc\" "
                   "section, or cut short)");
    listing.package_offset = static_cast<uint32_t>(PlatSeek(package, 0, kFromCurrent));
    const bool has_length = PlatReadExactly(package, &listing.agreement_length, 2);
    PlatClose(package);
    if (!has_length) Fail(path, "not an installer: the file ends where its package should begin");

    // ReadPackageHeaderOf leaves its outputs alone on a cut-short header; say so instead.
    const uint64_t header_end = uint64_t{listing.package_offset} + 2 + listing.agreement_length +
                                kScreenSaverNameSize + kHeaderFieldsSize;
    if (header_end > listing.file_size)
        Fail(path, "damaged installer: the package header is cut short");
    PackageHeader header{};
    ReadPackageHeaderOf(path.c_str(), &header);
    listing.name = header.ScreenSaverName;
    listing.needs_directx = header.NeedsDirectX;
    listing.top_color = header.TopColor;
    listing.bottom_color = header.BottomColor;

    if (!SumMemberSizesOf(path.c_str(), &listing.total_size))
        Fail(path, "damaged installer: the member table has no terminating entry before the end of "
                   "the file");
    package = OpenMemberTableOf(path.c_str(), &listing.first_media_number);
    if (package == kNoFile) Fail(path, "damaged installer: the member table cannot be read");
    for (uint32_t index = 0;; ++index) {
        MemberEntry entry{};
        if (!ReadMemberEntry(package, &entry)) {
            PlatClose(package);
            Fail(path, "damaged installer: the member table has no terminating entry before the "
                       "end of the file");
        }
        if (entry.StoredSize == 0) break;
        listing.members.push_back(
            {index, entry, InstalledName(index, entry, listing.name, listing.first_media_number)});
    }
    listing.table_end = static_cast<uint32_t>(PlatSeek(package, 0, kFromCurrent));
    PlatClose(package);
    // Every command gives a stub the same answer: there is nothing in it to list, verify or
    // extract, and an installer always holds members.
    if (listing.members.empty())
        Fail(path, "not a built installer: an installer stub with no members in its package; make "
                   "an installer with lmvpack build");
    // Two broken relations pass only where they are few of many: a three-member installer
    // with one bad offset still reads, for verify to name the bad member.
    const size_t relations = listing.members.size() + 1;
    const size_t broken =
        BrokenRelations(listing, NameIsTerminated(path, uint64_t{listing.package_offset} + 2 +
                                                            listing.agreement_length));
    if (broken >= 3 || (broken == 2 && 2 * broken > relations))
        Fail(path, "not a built installer: where an installer keeps its package, this file holds "
                   "something else (" +
                       std::to_string(broken) + " of " + std::to_string(relations) +
                       " fields of a package contradict each other): a Windows program with "
                       "resources of its own, or an installer damaged beyond reading");
    return listing;
}
