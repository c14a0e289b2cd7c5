#include "tools/lmvpack/installer/member_restore.h"

#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/support/file_streams.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace {

constexpr size_t kPieceSize = 1 << 16;

// FNV-1a over 64 bits, to tell two restorations of one member apart without keeping either.
class Fingerprint {
  public:
    void Add(std::span<const uint8_t> bytes) {
        for (const uint8_t byte : bytes) {
            hash_ ^= byte;
            hash_ *= 0x100000001b3ull;
        }
        size_ += bytes.size();
    }
    bool operator==(const Fingerprint&) const = default;

  private:
    uint64_t hash_ = 0xcbf29ce484222325ull;
    uint64_t size_ = 0;
};

// Reads `size` bytes of the installer from `offset` on, a piece at a time.
class DataReader {
  public:
    DataReader(FILE* installer, uint32_t offset, uint64_t size)
        : installer_(installer), offset_(offset), left_(size) {}
    // False when the file cannot be positioned there.
    bool Start() { return SeekStream(installer_, offset_); }
    size_t Read(uint8_t* into, size_t size) {
        const size_t got =
            std::fread(into, 1, static_cast<size_t>(std::min<uint64_t>(size, left_)), installer_);
        left_ -= got;
        return got;
    }

  private:
    FILE* installer_;
    uint32_t offset_;
    uint64_t left_;
};

} // namespace

std::optional<InstallerListing> LoadInstaller(const std::string& path, const char* command) {
    try {
        return ReadInstaller(path);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "lmvpack %s: %s\n", command, error.what());
        return std::nullopt;
    }
}

std::string RestoreMember(const InstallerListing& listing, const ListedMember& member,
                          const ByteWriter& write) {
    const MemberEntry& entry = member.entry;
    const uint64_t end = uint64_t{entry.DataOffset} + entry.StoredSize;
    if (end > listing.file_size)
        return "its data run past the end of the file (to byte " + std::to_string(end) + " of " +
               std::to_string(listing.file_size) + ")";
    if (entry.DataOffset < listing.table_end)
        return "its data start at byte " + std::to_string(entry.DataOffset) +
               ", before the end of the member table (byte " + std::to_string(listing.table_end) +
               ")";
    // A match restores at most 30 bytes and costs at least 10 bits (a one-bit symbol code and
    // nine bits of offset), so no stream restores more than 24 bytes per stored byte; more
    // is damage, told from the sizes alone without decoding anything.
    if (IsCompressed(entry) &&
        uint64_t{entry.UnpackedSize} > kMaxBytesPerStoredByte * uint64_t{entry.StoredSize} + 30)
        return "its " + std::to_string(entry.StoredSize) + " stored bytes cannot restore the " +
               std::to_string(entry.UnpackedSize) +
               " bytes it declares (at most 24 per stored byte)";

    const StreamCloser installer(OpenStream(listing.path, "rb"));
    if (installer.get() == nullptr) return std::string("cannot read it: ") + std::strerror(errno);
    DataReader data(installer.get(), entry.DataOffset, entry.StoredSize);
    if (!data.Start()) return "cannot read it: the file cannot be positioned at its data";

    if (!IsCompressed(entry)) {
        std::vector<uint8_t> piece(kPieceSize);
        uint64_t copied = 0;
        for (size_t got; (got = data.Read(piece.data(), piece.size())) > 0; copied += got)
            write(std::span<const uint8_t>(piece.data(), got));
        if (copied != entry.StoredSize)
            return "cannot read it: the file gives " + std::to_string(copied) + " of its " +
                   std::to_string(entry.StoredSize) + " bytes";
        return {};
    }

    Fingerprint restored;
    const uint64_t size = DecodeStream(installer.get(), entry.StoredSize, entry.UnpackedSize,
                                       [&](std::span<const uint8_t> piece) {
                                           restored.Add(piece);
                                           write(piece);
                                       });
    if (size != entry.UnpackedSize)
        return "its compressed stream gives " + std::to_string(size) + " bytes instead of " +
               std::to_string(entry.UnpackedSize);
    // Every bit pattern decodes to something, so a stream cut short or made of noise still
    // gives `UnpackedSize` bytes: the decoder reads the bits past the stored bytes as
    // zeros. Decoding it again with ones after those bytes shows whether it ever got that
    // far: a whole stream restores the same bytes either way.
    constexpr uint32_t kProbeBytes = 64;
    DataReader again(installer.get(), entry.DataOffset, entry.StoredSize);
    if (!again.Start()) return "cannot read it: the file cannot be positioned at its data";
    uint32_t ones = kProbeBytes;
    Fingerprint probed;
    DecodeStream(
        [&](uint8_t* into, size_t room) {
            if (const size_t got = again.Read(into, room); got > 0) return got;
            const size_t count = std::min<size_t>(room, ones);
            std::memset(into, 0xFF, count);
            ones -= static_cast<uint32_t>(count);
            return count;
        },
        static_cast<uint32_t>(
            std::min<uint64_t>(uint64_t{entry.StoredSize} + kProbeBytes, UINT32_MAX)),
        entry.UnpackedSize, [&](std::span<const uint8_t> piece) { probed.Add(piece); });
    if (!(probed == restored))
        return "its compressed stream ends before the member is restored: the decoder needs "
               "more than its " +
               std::to_string(entry.StoredSize) + " stored bytes";
    return {};
}

MemberProgram ReadMemberProgram(const InstallerListing& listing, const ListedMember& member) {
    struct NoProgram {};
    SignatureScanner scanner;
    try {
        const std::string problem =
            RestoreMember(listing, member, [&](std::span<const uint8_t> piece) {
                scanner.Add(piece);
                if (!scanner.MayBeProgram()) throw NoProgram{};
            });
        if (!problem.empty() || !scanner.IsProgram()) return {};
    } catch (const NoProgram&) {
        return {};
    }
    return {true, scanner.Finish()};
}

PackageFindings CheckPackage(const InstallerListing& listing) {
    PackageFindings findings;
    for (const ListedMember& member : listing.members) {
        MemberFinding found;
        found.member = &member;
        SignatureScanner scanner;
        found.problem = RestoreMember(listing, member,
                                      [&](std::span<const uint8_t> piece) { scanner.Add(piece); });
        if (const std::string why = FileNameProblem(member.installed_name);
            !why.empty() && found.problem.empty())
            found.problem = "its installed name " + why;
        if (found.problem.empty() && scanner.IsProgram()) found.program = {true, scanner.Finish()};
        findings.failures += found.problem.empty() ? 0 : 1;
        findings.members.push_back(std::move(found));
    }
    // A package without its fixed members installs nothing useful: the installer would write
    // no screen saver, or none that it could register or remove. (A bare stub, with no member
    // at all, is refused when it is read.)
    if (const std::string why = ScreenSaverNameProblem(listing.name); !why.empty())
        findings.package_problem = "the installer cannot install its name, which " + why;
    else if (listing.members.size() < kFirstMediaMember)
        findings.package_problem = "the package holds " + std::to_string(listing.members.size()) +
                                   " members; an installer needs the screen saver, its data file "
                                   "and the uninstaller";
    return findings;
}
