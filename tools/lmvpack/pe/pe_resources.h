// The resources of a PE32 file, read as a flat list and written back as a new resource
// section.
//
// Branding an installer (its icon, its version information) means rebuilding the stub's
// resource section, and the rebuilt section must keep what the installer relies on: the
// package resource stays the first leaf of the tree (the only named type, and named entries
// sort before numbered ones) and its data stays the last bytes of the section, since the
// package is placed there and runs on to the end of the file. The resource section must be
// the last section of the file, so that it can grow without moving any other section.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Resource types used here (the numbers Windows gives them).
constexpr uint32_t kResourceTypeIcon = 3;
constexpr uint32_t kResourceTypeGroupIcon = 14;
constexpr uint32_t kResourceTypeVersion = 16;
constexpr uint16_t kLanguageEnglishUs = 1033;

// A type or name: a number, or a name of UTF-16 characters.
struct ResourceId {
    uint32_t number = 0;
    std::u16string name; // set for a named id; `number` is then unused

    bool named() const { return !name.empty(); }
    static ResourceId Number(uint32_t value) { return ResourceId{value, {}}; }
    static ResourceId Name(std::u16string value) { return ResourceId{0, std::move(value)}; }
    bool operator==(const ResourceId&) const = default;
};

struct Resource {
    ResourceId type;
    ResourceId name;
    uint32_t language = 0;
    uint32_t code_page = 0;
    std::vector<uint8_t> data;
};

// Every leaf of the file's resource tree, in tree order (the first is the first leaf).
// `file` may be cut short after the resource section. Throws InstallerError naming what is
// wrong when the file is not a PE32 file or its resource tree cannot be read whole.
std::vector<Resource> ReadResources(std::span<const uint8_t> file);

// How many leading bytes of a file hold its headers and resource section (the part
// ReadResources needs); 0 when the headers themselves are not those of a PE32 file.
// `headers` is the start of the file, at least 4096 bytes where the file has them.
uint64_t ResourceSectionEnd(std::span<const uint8_t> headers);

// The stub with its resource section replaced by one holding `resources`, in their order
// within each directory level, and `package_resource` as the first leaf whose data comes
// last. The section keeps its place and virtual address; the section header's sizes, the
// image size, the initialised-data size and the resource directory entry follow the new
// size. Throws BuildError when the stub's resource section is not its last section or the
// package resource is not the only named type.
std::vector<uint8_t> ReplaceResources(std::span<const uint8_t> stub,
                                      const std::vector<Resource>& resources,
                                      const Resource& package_resource);
