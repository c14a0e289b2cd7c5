// Reads a built PE32 file the way the system's loader and resource functions find their way
// through it: headers, section table, data directories, imports and the resource tree. The
// tests of the built programs and of the authoring tool's output read files through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct PeSection {
    std::string name;
    uint32_t virtual_address, virtual_size, raw_pointer, raw_size;
    uint32_t header_offset; // file offset of its entry in the section table
};

// One leaf of the resource tree (type, name, language).
struct PeResource {
    std::string type; // "#<id>" for a numbered type, else its name
    uint32_t name, language;
    uint32_t data_offset, size; // the data, as a file offset
    // File offsets of the leaf's data entry and of its type's length-prefixed name (0 for a
    // numbered type), for tests that damage them.
    uint32_t entry_offset, type_name_offset;
};

struct PeDataDirectory {
    uint32_t rva, size;
};

// Data directory indexes.
constexpr int kPeImportDirectory = 1, kPeResourceDirectory = 2, kPeBaseRelocationDirectory = 5;

// Header flags.
constexpr uint16_t kPeRelocationsStripped = 0x0001; // file header Characteristics
constexpr uint16_t kPeDynamicBase = 0x0040;         // DllCharacteristics: ASLR
constexpr uint16_t kPeNxCompatible = 0x0100;        // DllCharacteristics: DEP
constexpr uint16_t kPeTerminalServerAware = 0x8000; // DllCharacteristics
constexpr uint16_t kPeGuiSubsystem = 2;

// The libraries Windows always takes from the system directory (KnownDLLs), whatever lies
// beside a program: the only ones a program run from a downloads folder may import.
inline const std::set<std::string> kKnownDlls = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                                 "advapi32.dll", "shell32.dll", "msvcrt.dll"};

class PeFile {
  public:
    explicit PeFile(std::vector<uint8_t> file);
    // The file at `path`; Empty() when there is none.
    static PeFile Read(const std::string& path);

    bool Empty() const { return bytes.size() < 64; }

    // Little-endian values; a read past the end throws std::out_of_range.
    uint16_t U16(size_t at) const;
    uint32_t U32(size_t at) const;

    // File offsets of the "PE\0\0" signature and of the optional header.
    uint32_t Header() const { return lfanew; }
    uint32_t Optional() const { return lfanew + 24; }
    uint16_t Characteristics() const { return U16(lfanew + 22); }
    uint16_t Subsystem() const { return U16(Optional() + 68); }
    uint16_t DllCharacteristics() const { return U16(Optional() + 70); }
    PeDataDirectory Directory(int index) const;

    // The section named ".rsrc"; null when there is none.
    const PeSection* Rsrc() const;
    // Any section's RVA as a file offset; the file's size when no section's data holds it.
    uint32_t FileOffsetOf(uint32_t rva) const;
    // The names of the imported libraries, in lower case.
    std::set<std::string> ImportedLibraries() const;
    // The first leaf of that type and name (any language); null when there is none.
    const PeResource* Resource(const std::string& type, uint32_t name) const;
    std::string ResourceData(const PeResource& resource) const;

    std::vector<uint8_t> bytes;
    uint32_t lfanew = 0;
    uint16_t optional_size = 0;
    std::vector<PeSection> sections;
    std::vector<PeResource> resources; // in tree order
    int named_types = 0;               // named entries at the tree's top level

  private:
    void Walk(uint32_t directory, int level, const std::string& type, uint32_t type_name_offset,
              uint32_t name);
};
