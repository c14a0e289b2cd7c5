#include "tools/lmvpack/installer/package_writer.h"

#include "package/package_format.h"

#include <algorithm>

namespace {

class ImageWriter {
  public:
    explicit ImageWriter(std::vector<uint8_t>& image) : image_(image) {}

    void U16(uint16_t value) {
        image_.push_back(static_cast<uint8_t>(value));
        image_.push_back(static_cast<uint8_t>(value >> 8));
    }
    void U32(uint32_t value) {
        U16(static_cast<uint16_t>(value));
        U16(static_cast<uint16_t>(value >> 16));
    }
    // `text` padded with `fill` to `width` bytes.
    void Field(const std::string& text, size_t width, uint8_t fill) {
        image_.insert(image_.end(), text.begin(), text.end());
        image_.insert(image_.end(), width - text.size(), fill);
    }
    FileOffset Position(const std::string& what) const {
        return FileOffset::From(image_.size(), what);
    }

  private:
    std::vector<uint8_t>& image_;
};

void CheckLimits(const PackageDescription& package) {
    if (package.header.agreement_text.size() > kMaxAgreementLength)
        throw BuildError("the agreement text is longer than 65535 bytes");
    if (package.header.name.size() >= kScreenSaverNameSize)
        throw BuildError("the screen saver name is longer than 259 bytes");
    if (package.members.size() < kFirstMediaMember)
        throw BuildError("a package needs the screen saver, its data file and the uninstaller");
    for (const PackageMember& member : package.members) {
        if (member.stored_size == 0) throw BuildError("an empty member cannot be stored");
        if (member.name_suffix.size() > kNameSuffixSize)
            throw BuildError("a media suffix is longer than 15 bytes");
    }
}

} // namespace

InstallerHead WriteInstallerHead(std::span<const uint8_t> stub, const StubLayout& layout,
                                 const PackageDescription& package) {
    CheckLimits(package);
    InstallerHead head;
    std::vector<uint8_t>& image = head.bytes;
    image.assign(stub.begin(), stub.begin() + layout.package_offset.value);
    ImageWriter out(image);

    out.U16(static_cast<uint16_t>(package.header.agreement_text.size()));
    out.Field(package.header.agreement_text, package.header.agreement_text.size(), 0);
    out.Field(package.header.name, kScreenSaverNameSize, 0);
    out.U32(package.header.needs_directx ? 1 : 0);
    out.U32(package.header.top_color);
    out.U32(package.header.bottom_color);
    out.U16(0); // reserved
    out.U16(package.header.first_media_number);

    // The data follow the table and its terminator directly, in table order.
    const ByteCount table_size =
        ByteCount::From((package.members.size() + 1) * sizeof(MemberEntry), "the member table");
    FileOffset data_offset =
        Advance(out.Position("the package header"), table_size, "the member table");
    for (size_t index = 0; index < package.members.size(); ++index) {
        const PackageMember& member = package.members[index];
        const ByteCount stored = ByteCount::From(member.stored_size, "a member");
        out.U32(data_offset.value);
        out.U32(stored.value);
        out.U32(member.unpacked_size);
        // Only media members have names; the installer ignores the fields of the others.
        const bool media = index >= kFirstMediaMember;
        out.Field(media ? member.name_suffix : std::string(), kNameSuffixSize, media ? ' ' : 0);
        image.push_back(media ? member.prefix_kind : 0);
        data_offset = Advance(data_offset, stored, "the installer");
    }
    out.Field(std::string(), sizeof(MemberEntry), 0);

    // A package shorter than the resource section's raw data would leave the section header
    // promising bytes that the file does not have.
    head.file_size = std::max<uint64_t>(data_offset.value, layout.resource_end.value);
    head.trailing_zeros = head.file_size - data_offset.value;
    return head;
}
