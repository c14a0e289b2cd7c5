#include "tools/lmvpack/pe/pe_resources.h"

#include "tools/lmvpack/pe/little_endian.h"
#include "tools/lmvpack/pe/pe_constants.h"
#include "tools/lmvpack/support/tool_error.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint32_t kResourceDirectoryIndex = 2;
// A tree can name the same subdirectory from many entries; no real file has this many
// resources, and a bound keeps a crafted one from multiplying its leaves without end.
constexpr size_t kMostLeaves = 4096;
constexpr uint32_t kDataAlignment = 8;

// Offsets of the header fields this file reads and rewrites.
struct Pe32 {
    uint32_t optional_header = 0; // file offset
    uint32_t section_table = 0;
    uint16_t section_count = 0;
    uint32_t rsrc_header = 0; // file offset of the ".rsrc" section header; 0 when none
    uint32_t rsrc_virtual_address = 0;
    uint32_t rsrc_raw_size = 0;
    uint32_t rsrc_raw_pointer = 0;
};

// Thrown by Bytes for a read past its end; turned into the caller's kind of error.
struct OutOfBounds {};

class Bytes {
  public:
    explicit Bytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Has(uint64_t at, uint64_t count) const { return at + count <= bytes_.size(); }
    uint16_t U16(uint64_t at) const {
        Need(at, 2);
        return LoadU16(bytes_, at);
    }
    uint32_t U32(uint64_t at) const {
        Need(at, 4);
        return LoadU32(bytes_, at);
    }
    std::span<const uint8_t> Slice(uint64_t at, uint64_t count) const {
        Need(at, count);
        return bytes_.subspan(at, count);
    }
    void Need(uint64_t at, uint64_t count) const {
        if (!Has(at, count)) throw OutOfBounds{};
    }
    size_t size() const { return bytes_.size(); }

  private:
    std::span<const uint8_t> bytes_;
};

uint32_t AlignUp(uint64_t value, uint32_t alignment) {
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

// Reads the headers; `Error` is the caller's kind of error.
template <typename Error> Pe32 ReadHeaders(const Bytes& file) {
    Pe32 pe;
    try {
        if (file.size() < 64 || file.U16(0) != 0x5A4D) throw Error("it is not a PE file");
        const uint32_t lfanew = file.U32(60);
        if (file.U32(lfanew) != kPeSignature) throw Error("it is not a PE file");
        pe.section_count = file.U16(lfanew + 6);
        const uint16_t optional_size = file.U16(lfanew + 20);
        pe.optional_header = lfanew + 24;
        if (file.U16(pe.optional_header) != kPe32Magic || optional_size < 96 + 8 * 3)
            throw Error("it is not a 32-bit PE file with a resource directory entry");
        pe.section_table = pe.optional_header + optional_size;
        for (uint16_t i = 0; i < pe.section_count; ++i) {
            const uint32_t header = pe.section_table + 40u * i;
            static constexpr uint8_t kRsrc[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
            const std::span<const uint8_t> name = file.Slice(header, 8);
            if (std::equal(name.begin(), name.end(), kRsrc)) {
                pe.rsrc_header = header;
                pe.rsrc_virtual_address = file.U32(header + 12);
                pe.rsrc_raw_size = file.U32(header + 16);
                pe.rsrc_raw_pointer = file.U32(header + 20);
            }
        }
    } catch (const OutOfBounds&) {
        throw Error("it is cut short inside its headers");
    }
    return pe;
}

std::u16string ReadName(const Bytes& file, uint64_t at) {
    const uint16_t length = file.U16(at);
    std::u16string name;
    for (uint16_t i = 0; i < length; ++i)
        name += static_cast<char16_t>(file.U16(at + 2 + 2ull * i));
    return name;
}

struct Walk {
    const Bytes& file;
    const Pe32& pe;
    std::vector<Resource>& leaves;
};

void WalkDirectory(const Walk& walk, uint32_t directory, int depth, Resource path) {
    const uint64_t section = walk.pe.rsrc_raw_pointer;
    const uint32_t count =
        uint32_t{walk.file.U16(section + directory + 12)} + walk.file.U16(section + directory + 14);
    for (uint32_t k = 0; k < count; ++k) {
        const uint64_t entry = section + directory + 16 + 8ull * k;
        const uint32_t id = walk.file.U32(entry);
        const uint32_t target = walk.file.U32(entry + 4);
        const ResourceId here =
            (id & kResourceHighBit)
                ? ResourceId::Name(ReadName(walk.file, section + (id & ~kResourceHighBit)))
                : ResourceId::Number(id);
        if (depth == 0) path.type = here;
        if (depth == 1) path.name = here;
        if (depth == 2) path.language = here.number;
        if (target & kResourceHighBit) {
            if (depth == 2) throw InstallerError("its resource tree is deeper than three levels");
            WalkDirectory(walk, target & ~kResourceHighBit, depth + 1, path);
            continue;
        }
        if (depth != 2) throw InstallerError("its resource tree has a leaf above the third level");
        if (walk.leaves.size() == kMostLeaves)
            throw InstallerError("its resource tree has more than 4096 leaves");
        const uint32_t rva = walk.file.U32(section + target);
        const uint32_t size = walk.file.U32(section + target + 4);
        if (rva < walk.pe.rsrc_virtual_address)
            throw InstallerError("a resource's data lie outside the resource section");
        Resource leaf = path;
        leaf.code_page = walk.file.U32(section + target + 8);
        const std::span<const uint8_t> data =
            walk.file.Slice(uint64_t{rva} - walk.pe.rsrc_virtual_address + section, size);
        leaf.data.assign(data.begin(), data.end());
        walk.leaves.push_back(std::move(leaf));
    }
}

// Named ids first, in the order of their upper-case names, then numbers in ascending order:
// the order in which Windows' resource loader searches a directory.
bool IdBefore(const ResourceId& a, const ResourceId& b) {
    if (a.named() != b.named()) return a.named();
    if (!a.named()) return a.number < b.number;
    auto upper = [](char16_t c) {
        return c < 128 ? static_cast<char16_t>(std::toupper(static_cast<int>(c))) : c;
    };
    return std::lexicographical_compare(
        a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
        [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
}

// The tree as the new section lays it out.
struct LanguageNode {
    uint32_t language;
    const Resource* resource;
};
struct NameNode {
    ResourceId name;
    std::vector<LanguageNode> languages;
};
struct TypeNode {
    ResourceId type;
    std::vector<NameNode> names;
};

std::vector<TypeNode> BuildTree(std::vector<const Resource*> all) {
    std::stable_sort(all.begin(), all.end(), [](const Resource* a, const Resource* b) {
        if (!(a->type == b->type)) return IdBefore(a->type, b->type);
        if (!(a->name == b->name)) return IdBefore(a->name, b->name);
        return a->language < b->language;
    });
    std::vector<TypeNode> types;
    for (const Resource* resource : all) {
        if (types.empty() || !(types.back().type == resource->type))
            types.push_back({resource->type, {}});
        std::vector<NameNode>& names = types.back().names;
        if (names.empty() || !(names.back().name == resource->name))
            names.push_back({resource->name, {}});
        std::vector<LanguageNode>& languages = names.back().languages;
        if (!languages.empty() && languages.back().language == resource->language)
            throw BuildError("two resources share type, name and language");
        languages.push_back({resource->language, resource});
    }
    return types;
}

// Lays out the section: directories, data entries, names, then the data, the package
// resource's data last.
std::vector<uint8_t> LayOutSection(const std::vector<TypeNode>& types, uint32_t virtual_address,
                                   const Resource& package_resource) {
    uint32_t directories = 16 + 8 * static_cast<uint32_t>(types.size());
    uint32_t leaves = 0;
    for (const TypeNode& type : types) {
        directories += 16 + 8 * static_cast<uint32_t>(type.names.size());
        for (const NameNode& name : type.names) {
            directories += 16 + 8 * static_cast<uint32_t>(name.languages.size());
            leaves += static_cast<uint32_t>(name.languages.size());
        }
    }
    const uint32_t data_entries = directories;
    uint32_t strings_end = data_entries + 16 * leaves;
    auto string_size = [](const ResourceId& id) {
        return id.named() ? 2 + 2 * static_cast<uint32_t>(id.name.size()) : 0;
    };
    for (const TypeNode& type : types) {
        strings_end += string_size(type.type);
        for (const NameNode& name : type.names)
            strings_end += string_size(name.name);
    }
    uint32_t data_end = AlignUp(strings_end, kDataAlignment);
    for (const TypeNode& type : types)
        for (const NameNode& name : type.names)
            for (const LanguageNode& language : name.languages)
                if (language.resource != &package_resource)
                    data_end = AlignUp(data_end + language.resource->data.size(), kDataAlignment);
    std::vector<uint8_t> section(data_end + package_resource.data.size(), 0);

    uint32_t next_directory = 0, next_leaf = data_entries, next_string = data_entries + 16 * leaves;
    uint32_t next_data = AlignUp(strings_end, kDataAlignment);
    const uint32_t package_data = data_end;
    auto put_id = [&](uint32_t entry, const ResourceId& id) {
        if (!id.named()) {
            StoreU32(section, entry, id.number);
            return;
        }
        StoreU32(section, entry, next_string | kResourceHighBit);
        StoreU16(section, next_string, static_cast<uint32_t>(id.name.size()));
        for (size_t i = 0; i < id.name.size(); ++i)
            StoreU16(section, next_string + 2 + 2 * i, id.name[i]);
        next_string += string_size(id);
    };
    auto put_directory = [&](auto& children, auto id_of) {
        const uint32_t at = next_directory;
        uint16_t named = 0;
        for (const auto& child : children)
            named += id_of(child).named() ? 1 : 0;
        StoreU16(section, at + 12, named);
        StoreU16(section, at + 14, static_cast<uint32_t>(children.size()) - named);
        next_directory += 16 + 8 * static_cast<uint32_t>(children.size());
        return at;
    };
    auto put_leaf = [&](uint32_t entry, const Resource& resource) {
        StoreU32(section, entry + 4, next_leaf);
        uint32_t data = package_data;
        if (&resource != &package_resource) {
            data = next_data;
            next_data = AlignUp(data + resource.data.size(), kDataAlignment);
        }
        StoreU32(section, next_leaf, virtual_address + data);
        StoreU32(section, next_leaf + 4, static_cast<uint32_t>(resource.data.size()));
        StoreU32(section, next_leaf + 8, resource.code_page);
        std::copy(resource.data.begin(), resource.data.end(), section.begin() + data);
        next_leaf += 16;
    };

    // Directories breadth first: the root, every type's names, every name's languages.
    const uint32_t root = put_directory(types, [](const TypeNode& t) { return t.type; });
    std::vector<uint32_t> name_directories;
    for (size_t t = 0; t < types.size(); ++t) {
        const uint32_t at = put_directory(types[t].names, [](const NameNode& n) { return n.name; });
        name_directories.push_back(at);
        put_id(root + 16 + 8 * static_cast<uint32_t>(t), types[t].type);
        StoreU32(section, root + 16 + 8 * static_cast<uint32_t>(t) + 4, at | kResourceHighBit);
    }
    for (size_t t = 0; t < types.size(); ++t) {
        for (size_t n = 0; n < types[t].names.size(); ++n) {
            const NameNode& name = types[t].names[n];
            const uint32_t entry = name_directories[t] + 16 + 8 * static_cast<uint32_t>(n);
            const uint32_t at = put_directory(name.languages, [](const LanguageNode& l) {
                return ResourceId::Number(l.language);
            });
            put_id(entry, name.name);
            StoreU32(section, entry + 4, at | kResourceHighBit);
            for (size_t l = 0; l < name.languages.size(); ++l) {
                const uint32_t language_entry = at + 16 + 8 * static_cast<uint32_t>(l);
                StoreU32(section, language_entry, name.languages[l].language);
                put_leaf(language_entry, *name.languages[l].resource);
            }
        }
    }
    return section;
}

std::vector<uint8_t> ReplaceSection(std::span<const uint8_t> stub,
                                    const std::vector<Resource>& resources,
                                    const Resource& package_resource) {
    const Bytes file(stub);
    const Pe32 pe = ReadHeaders<BuildError>(file);
    if (pe.rsrc_header == 0) throw BuildError("the stub has no resource section");
    for (uint16_t i = 0; i < pe.section_count; ++i) {
        const uint32_t header = pe.section_table + 40u * i;
        if (header == pe.rsrc_header) continue;
        if (file.U32(header + 12) > pe.rsrc_virtual_address ||
            (file.U32(header + 16) != 0 && file.U32(header + 20) > pe.rsrc_raw_pointer))
            throw BuildError("the stub's resource section is not its last section");
    }
    if (uint64_t{pe.rsrc_raw_pointer} + pe.rsrc_raw_size != stub.size())
        throw BuildError("the stub has data after its resource section");

    std::vector<const Resource*> all = {&package_resource};
    for (const Resource& resource : resources) {
        if (resource.type.named())
            throw BuildError("only the package resource may have a named type");
        all.push_back(&resource);
    }
    if (!package_resource.type.named())
        throw BuildError("the package resource must have a named type");
    const std::vector<uint8_t> section =
        LayOutSection(BuildTree(all), pe.rsrc_virtual_address, package_resource);

    const uint32_t file_alignment = file.U32(pe.optional_header + 36);
    const uint32_t section_alignment = file.U32(pe.optional_header + 32);
    if (file_alignment == 0 || section_alignment == 0)
        throw BuildError("the stub's headers give no alignment");
    const uint32_t raw_size = AlignUp(section.size(), file_alignment);
    std::vector<uint8_t> out(stub.begin(), stub.begin() + pe.rsrc_raw_pointer);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(uint64_t{pe.rsrc_raw_pointer} + raw_size, 0);

    const uint32_t virtual_size = static_cast<uint32_t>(section.size());
    StoreU32(out, pe.rsrc_header + 8, virtual_size);
    StoreU32(out, pe.rsrc_header + 16, raw_size);
    const uint32_t initialized = file.U32(pe.optional_header + 8);
    StoreU32(out, pe.optional_header + 8,
             initialized - std::min(initialized, pe.rsrc_raw_size) + raw_size);
    StoreU32(out, pe.optional_header + 56,
             AlignUp(uint64_t{pe.rsrc_virtual_address} + virtual_size, section_alignment));
    const uint32_t directory = pe.optional_header + 96 + 8 * kResourceDirectoryIndex;
    StoreU32(out, directory, pe.rsrc_virtual_address);
    StoreU32(out, directory + 4, virtual_size);
    return out;
}

} // namespace

std::vector<Resource> ReadResources(std::span<const uint8_t> bytes) {
    const Bytes file(bytes);
    const Pe32 pe = ReadHeaders<InstallerError>(file);
    std::vector<Resource> leaves;
    if (pe.rsrc_header == 0) return leaves;
    try {
        WalkDirectory(Walk{file, pe, leaves}, 0, 0, Resource{});
    } catch (const OutOfBounds&) {
        throw InstallerError("its resource tree runs past the end of the file");
    }
    return leaves;
}

uint64_t ResourceSectionEnd(std::span<const uint8_t> headers) {
    try {
        const Pe32 pe = ReadHeaders<InstallerError>(Bytes(headers));
        return pe.rsrc_header ? uint64_t{pe.rsrc_raw_pointer} + pe.rsrc_raw_size : 0;
    } catch (const InstallerError&) {
        return 0;
    } catch (const OutOfBounds&) {
        return 0;
    }
}

std::vector<uint8_t> ReplaceResources(std::span<const uint8_t> stub,
                                      const std::vector<Resource>& resources,
                                      const Resource& package_resource) {
    try {
        return ReplaceSection(stub, resources, package_resource);
    } catch (const OutOfBounds&) {
        throw BuildError("the stub is cut short inside its headers");
    }
}
