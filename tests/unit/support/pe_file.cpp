#include "support/pe_file.h"

#include <cctype>
#include <fstream>
#include <iterator>

PeFile::PeFile(std::vector<uint8_t> file) : bytes(std::move(file)) {
    if (Empty()) return;
    lfanew = U32(60);
    const uint16_t count = U16(lfanew + 6);
    optional_size = U16(lfanew + 20);
    sections.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        const uint32_t at = Optional() + optional_size + 40u * i;
        std::string name;
        for (uint32_t c = 0; c < 8 && bytes.at(at + c) != 0; ++c)
            name += static_cast<char>(bytes[at + c]);
        sections.push_back({name, U32(at + 12), U32(at + 8), U32(at + 20), U32(at + 16), at});
    }
    if (Rsrc()) Walk(0, 0, "", 0, 0);
}

PeFile PeFile::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return PeFile(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

uint16_t PeFile::U16(size_t at) const {
    return static_cast<uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

uint32_t PeFile::U32(size_t at) const {
    return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16;
}

PeDataDirectory PeFile::Directory(int index) const {
    const uint32_t at = Optional() + 96 + 8 * static_cast<uint32_t>(index);
    return {U32(at), U32(at + 4)};
}

const PeSection* PeFile::Rsrc() const {
    for (const PeSection& section : sections)
        if (section.name == ".rsrc") return &section;
    return nullptr;
}

uint32_t PeFile::FileOffsetOf(uint32_t rva) const {
    for (const PeSection& s : sections)
        if (rva >= s.virtual_address && rva - s.virtual_address < s.raw_size)
            return rva - s.virtual_address + s.raw_pointer;
    return static_cast<uint32_t>(bytes.size());
}

std::set<std::string> PeFile::ImportedLibraries() const {
    std::set<std::string> names;
    const uint32_t table = Directory(kPeImportDirectory).rva;
    if (table == 0) return names;
    for (uint32_t at = FileOffsetOf(table); U32(at + 12) != 0; at += 20) {
        std::string name;
        for (uint32_t c = FileOffsetOf(U32(at + 12)); bytes.at(c) != 0; ++c)
            name += static_cast<char>(std::tolower(bytes[c]));
        names.insert(name);
    }
    return names;
}

const PeResource* PeFile::Resource(const std::string& type, uint32_t name) const {
    for (const PeResource& resource : resources)
        if (resource.type == type && resource.name == name) return &resource;
    return nullptr;
}

std::string PeFile::ResourceData(const PeResource& resource) const {
    const auto begin = bytes.begin() + static_cast<long>(resource.data_offset);
    return std::string(begin, begin + static_cast<long>(resource.size));
}

// Level 0 lists the types, level 1 a type's names, level 2 a name's languages, whose entries
// point at the data entries (RVA and size of the data).
void PeFile::Walk(uint32_t directory, int level, const std::string& type, uint32_t type_name_offset,
                  uint32_t name) {
    const uint32_t base = Rsrc()->raw_pointer;
    const uint16_t named = U16(base + directory + 12), numbered = U16(base + directory + 14);
    if (level == 0) named_types = named;
    for (uint32_t k = 0; k < uint32_t{named} + numbered; ++k) {
        const uint32_t id = U32(base + directory + 16 + 8 * k);
        const uint32_t target = U32(base + directory + 20 + 8 * k);
        std::string label;
        uint32_t label_offset = 0;
        if (id & 0x80000000u) {
            const uint32_t at = base + (id & 0x7FFFFFFFu);
            label_offset = at;
            for (uint16_t c = 0; c < U16(at); ++c)
                label += static_cast<char>(U16(at + 2 + 2 * c));
        } else {
            label = "#" + std::to_string(id);
        }
        const bool subdirectory = (target & 0x80000000u) != 0;
        if (subdirectory && level < 2) {
            if (level == 0)
                Walk(target & 0x7FFFFFFFu, 1, label, label_offset, 0);
            else
                Walk(target & 0x7FFFFFFFu, 2, type, type_name_offset, id);
        } else if (!subdirectory && level == 2) {
            const uint32_t entry = base + target;
            resources.push_back({type, name, id, FileOffsetOf(U32(entry)), U32(entry + 4), entry,
                                 type_name_offset});
        }
    }
}
