#include "tools/lmvpack/installer/stub_layout.h"

#include "package/package_locator.h"
#include "tools/lmvpack/pe/pe_constants.h"

#include <vector>

namespace {

constexpr uint16_t kPe32OptionalHeaderSize = 224;
constexpr uint32_t kPackageResourceName = 1000;
constexpr uint32_t kPackageResourceLanguage = 1033;
constexpr uint32_t kPackageResourceSize = 4;

class Reader {
  public:
    Reader(std::span<const uint8_t> bytes, std::string path)
        : bytes_(bytes), path_(std::move(path)) {}

    uint32_t U32(uint64_t at) const {
        Need(at, 4);
        return bytes_[at] | bytes_[at + 1] << 8 | bytes_[at + 2] << 16 |
               static_cast<uint32_t>(bytes_[at + 3]) << 24;
    }
    uint16_t U16(uint64_t at) const {
        Need(at, 2);
        return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
    }
    void Need(uint64_t at, uint64_t count) const {
        if (at + count > bytes_.size()) Fail("is cut short inside its headers");
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw BuildError(path_ + ": not a usable installer stub: it " + what);
    }
    uint64_t size() const { return bytes_.size(); }

  private:
    std::span<const uint8_t> bytes_;
    std::string path_;
};

struct Leaf {
    uint32_t rva;
    uint32_t size;
};

// Every data entry of the tree, and the highest byte any directory or data entry occupies.
void CollectLeaves(const Reader& file, uint64_t section, uint32_t directory, int depth,
                   std::vector<Leaf>& leaves, uint64_t& tree_end) {
    if (depth > 3) file.Fail("has a resource tree deeper than type, name and language");
    const uint32_t count =
        uint32_t{file.U16(section + directory + 12)} + file.U16(section + directory + 14);
    tree_end = std::max<uint64_t>(tree_end, section + directory + 16 + 8ull * count);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t target = file.U32(section + directory + 16 + 8ull * k + 4);
        if (target & kResourceHighBit) {
            CollectLeaves(file, section, target & ~kResourceHighBit, depth + 1, leaves, tree_end);
        } else {
            leaves.push_back({file.U32(section + target), file.U32(section + target + 4)});
            tree_end = std::max<uint64_t>(tree_end, section + target + 16);
        }
    }
}

std::u16string ResourceName(const Reader& file, uint64_t at) {
    const uint16_t length = file.U16(at);
    std::u16string name;
    for (uint16_t i = 0; i < length; ++i)
        name += static_cast<char16_t>(file.U16(at + 2 + 2 * i));
    return name;
}

} // namespace

StubLayout InspectStub(const std::string& path, std::span<const uint8_t> stub) {
    const Reader file(stub, path);
    if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') file.Fail("is not a PE file");
    const uint32_t lfanew = file.U32(60);
    if (file.U32(lfanew) != kPeSignature) file.Fail("is not a PE file");
    const uint16_t section_count = file.U16(lfanew + 6);
    if (file.U16(lfanew + 20) != kPe32OptionalHeaderSize)
        file.Fail("has no standard 32-bit optional header, which the installer's walk expects");

    // The resource section, and proof that it is the last one with raw data.
    uint64_t rsrc_header = 0;
    uint32_t last_raw_pointer = 0;
    for (uint16_t i = 0; i < section_count; ++i) {
        const uint64_t header = lfanew + 24ull + kPe32OptionalHeaderSize + 40ull * i;
        file.Need(header, 40);
        static constexpr uint8_t kRsrc[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
        if (std::equal(kRsrc, kRsrc + 8, stub.begin() + static_cast<ptrdiff_t>(header)))
            rsrc_header = header;
        if (file.U32(header + 16) != 0)
            last_raw_pointer = std::max(last_raw_pointer, file.U32(header + 20));
    }
    if (rsrc_header == 0) file.Fail("has no \".rsrc\" section");
    const uint32_t virtual_address = file.U32(rsrc_header + 12);
    const uint32_t raw_size = file.U32(rsrc_header + 16);
    const uint32_t raw_pointer = file.U32(rsrc_header + 20);
    if (raw_pointer != last_raw_pointer)
        file.Fail("has a section after \".rsrc\", where the package must go");
    const uint64_t resource_end = uint64_t{raw_pointer} + raw_size;
    if (resource_end != stub.size())
        file.Fail(resource_end > stub.size()
                      ? "is cut short inside its resource section"
                      : "has data after its resource section (is it an installer already?)");

    // The first leaf must be the package resource.
    const uint64_t section = raw_pointer;
    if (file.U16(section + 12) != 1)
        file.Fail("does not have \"LASTRES\" as its only named resource type");
    const uint32_t type_name = file.U32(section + 16);
    const uint32_t type_target = file.U32(section + 20);
    if (!(type_name & kResourceHighBit) || !(type_target & kResourceHighBit) ||
        ResourceName(file, section + (type_name & ~kResourceHighBit)) != u"LASTRES")
        file.Fail("does not have \"LASTRES\" as its first resource type");
    const uint64_t names = section + (type_target & ~kResourceHighBit);
    const uint32_t name_target = file.U32(names + 20);
    if (file.U32(names + 16) != kPackageResourceName || !(name_target & kResourceHighBit))
        file.Fail("has no resource \"LASTRES\" 1000 as its first resource");
    const uint64_t languages = section + (name_target & ~kResourceHighBit);
    const uint32_t data_entry = file.U32(languages + 20);
    if (file.U32(languages + 16) != kPackageResourceLanguage || (data_entry & kResourceHighBit))
        file.Fail("has no language 1033 for its \"LASTRES\" resource");
    const uint32_t package_rva = file.U32(section + data_entry);
    if (file.U32(section + data_entry + 4) != kPackageResourceSize)
        file.Fail("declares a size other than 4 for its \"LASTRES\" resource");
    const uint64_t package_offset = uint64_t{package_rva} - virtual_address + raw_pointer;
    if (package_rva < virtual_address || package_offset + kPackageResourceSize > resource_end)
        file.Fail("places its \"LASTRES\" data outside the resource section");

    // The package resource's data must come after every other resource and the tree itself,
    // since everything from there on is replaced by the package.
    std::vector<Leaf> leaves;
    uint64_t tree_end = 0;
    CollectLeaves(file, section, 0, 1, leaves, tree_end);
    bool package_seen = false;
    for (const Leaf& leaf : leaves) {
        if (leaf.rva == package_rva && leaf.size == kPackageResourceSize && !package_seen) {
            package_seen = true;
            continue;
        }
        if (uint64_t{leaf.rva} + leaf.size > package_rva)
            file.Fail("has resource data after its \"LASTRES\" data, which must come last");
    }
    if (tree_end > package_offset)
        file.Fail("has resource directory entries after its \"LASTRES\" data");

    // The installer's own locator must find the same place.
    const FileHandle located = LocatePackageInFile(path.c_str());
    if (located == kNoFile) file.Fail("cannot be walked by the installer's package locator");
    const int32_t position = PlatSeek(located, 0, kFromCurrent);
    PlatClose(located);
    if (position < 0 || static_cast<uint64_t>(position) != package_offset)
        file.Fail("leads the installer's package locator to another position");

    return StubLayout{FileOffset::From(package_offset, "the stub"),
                      FileOffset::From(resource_end, "the stub")};
}
