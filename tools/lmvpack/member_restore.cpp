#include "tools/lmvpack/member_restore.h"

#include "tools/lmvpack/atomic_file.h"
#include "tools/lmvpack/stream_codec.h"

#include <cstdio>

#include <exception>

namespace {

// Every bit pattern decodes to something, so a stream cut short or made of noise still gives
// `unpacked_size` bytes: the decoder reads the bits past the stored bytes as zeros. Decoding
// it again with ones after those bytes shows whether it ever got that far: a whole stream
// restores the same bytes either way.
bool DecodesWithinItsBytes(std::span<const uint8_t> stream, uint32_t unpacked_size,
                           const std::vector<uint8_t>& restored) {
    constexpr size_t kProbeBytes = 64;
    std::vector<uint8_t> probed(stream.begin(), stream.end());
    probed.resize(stream.size() + kProbeBytes, 0xFF);
    return DecodeStream(probed, unpacked_size) == restored;
}

} // namespace

std::optional<LoadedInstaller> LoadInstaller(const std::string& path, const char* command) {
    try {
        LoadedInstaller loaded{ReadInstaller(path), {}};
        loaded.bytes = ReadWholeFile(path);
        return loaded;
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "lmvpack %s: %s\n", command, error.what());
        return std::nullopt;
    }
}

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
    // A match restores at most 30 bytes and costs at least 10 bits (a one-bit symbol code and
    // nine bits of offset), so no stream restores more than 24 bytes per stored byte; more
    // is damage, told from the sizes alone without decoding anything.
    if (uint64_t{entry.UnpackedSize} > kMaxBytesPerStoredByte * uint64_t{entry.StoredSize} + 30) {
        restored.problem =
            "its " + std::to_string(entry.StoredSize) + " stored bytes cannot restore the " +
            std::to_string(entry.UnpackedSize) + " bytes it declares (at most 24 per stored byte)";
        return restored;
    }
    if (entry.UnpackedSize > kMaxRestoredSize) {
        restored.problem = "its unpacked size of " + std::to_string(entry.UnpackedSize) +
                           " bytes is more than lmvpack restores (1 GiB)";
        return restored;
    }
    try {
        restored.data = DecodeStream(data, entry.UnpackedSize);
        if (restored.data.size() != entry.UnpackedSize) {
            restored.problem = "its compressed stream gives " +
                               std::to_string(restored.data.size()) + " bytes instead of " +
                               std::to_string(entry.UnpackedSize);
        } else if (!DecodesWithinItsBytes(data, entry.UnpackedSize, restored.data)) {
            restored.problem = "its compressed stream ends before the member is restored: the "
                               "decoder needs more than its " +
                               std::to_string(entry.StoredSize) + " stored bytes";
        }
    } catch (const std::exception& error) {
        restored.problem = std::string("its compressed stream cannot be decoded: ") + error.what();
    }
    if (!restored.problem.empty()) restored.data.clear();
    return restored;
}
