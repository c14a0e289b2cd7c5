#include "tools/lmvpack/member_restore.h"

#include "tools/lmvpack/stream_codec.h"

#include <exception>

RestoredMember RestoreMember(std::span<const uint8_t> installer, const InstallerListing& listing,
                             const ListedMember& member) {
    RestoredMember restored;
    const MemberEntry& entry = member.entry;
    const uint64_t end = uint64_t{entry.DataOffset} + entry.StoredSize;
    if (end > installer.size()) {
        restored.problem = "its data run past the end of the file (to byte " + std::to_string(end) +
                           " of " + std::to_string(installer.size()) + ")";
        return restored;
    }
    if (entry.DataOffset < listing.table_end) {
        restored.problem = "its data start at byte " + std::to_string(entry.DataOffset) +
                           ", before the end of the member table (byte " +
                           std::to_string(listing.table_end) + ")";
        return restored;
    }
    const std::span<const uint8_t> data = installer.subspan(entry.DataOffset, entry.StoredSize);
    if (!IsCompressed(entry)) {
        restored.data.assign(data.begin(), data.end());
        return restored;
    }
    if (entry.UnpackedSize > kMaxRestoredSize) {
        restored.problem = "its unpacked size of " + std::to_string(entry.UnpackedSize) +
                           " bytes is more than lmvpack restores (1 GiB)";
        return restored;
    }
    try {
        restored.data = DecodeStream(data, entry.UnpackedSize);
    } catch (const std::exception& error) {
        restored.problem = std::string("its compressed stream is damaged: ") + error.what();
        restored.data.clear();
        return restored;
    }
    if (restored.data.size() != entry.UnpackedSize) {
        restored.problem = "its compressed stream gives " + std::to_string(restored.data.size()) +
                           " bytes instead of " + std::to_string(entry.UnpackedSize);
    }
    return restored;
}
