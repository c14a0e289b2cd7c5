// Finds the install package inside an installer executable by walking its PE headers and
// resource directory with plain reads and seeks.
//
// The stub is linked so that the package resource ("LASTRES", name 1000, language 1033) is
// the first leaf of the resource tree: it is the only named type, and named entries sort
// before numbered ones. So the walk takes the first entry at each of the three levels and
// compares nothing. The package begins at that leaf's data and runs to the end of the file.
//
// Every read must deliver all its bytes and every seek must land inside the file; anything
// else means the file is not a well-formed installer, and the answer is kNoFile.
#include "package/package_locator.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr int32_t kLfanewOffset = 60;
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kOptionalHeaderSize = 224; // PE32 with 16 data directories
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kHighBit = 0x80000000u;

bool SeekTo(FileHandle file, int64_t position) {
    if (position < 0 || position > INT32_MAX) return false;
    return PlatSeek(file, static_cast<int32_t>(position), kFromStart) == position;
}

uint32_t U32At(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Leaves the file at the package start, or answers false.
bool WalkToPackage(FileHandle file) {
    uint8_t field[4];
    if (!SeekTo(file, kLfanewOffset) || !PlatReadExactly(file, field, 4)) return false;
    const uint32_t lfanew = U32At(field);

    uint8_t signature[4], file_header[kFileHeaderSize], optional_header[kOptionalHeaderSize];
    if (!SeekTo(file, lfanew) || !PlatReadExactly(file, signature, sizeof signature) ||
        !PlatReadExactly(file, file_header, sizeof file_header) ||
        !PlatReadExactly(file, optional_header, sizeof optional_header))
        return false;
    const uint16_t section_count = static_cast<uint16_t>(file_header[2] | file_header[3] << 8);

    uint32_t virtual_address = 0, raw_pointer = 0;
    bool found = false;
    for (uint16_t i = 0; i < section_count && !found; ++i) {
        uint8_t section[kSectionHeaderSize];
        if (!PlatReadExactly(file, section, sizeof section)) return false;
        static constexpr char kRsrcName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
        if (std::memcmp(section, kRsrcName, 8) == 0) {
            virtual_address = U32At(section + 12);
            raw_pointer = U32At(section + 20);
            found = true;
        }
    }
    if (!found || !SeekTo(file, raw_pointer)) return false;

    const int64_t section_start = raw_pointer;
    uint8_t root_header[kDirectoryHeaderSize];
    if (!PlatReadExactly(file, root_header, sizeof root_header)) return false;
    // A subdirectory offset points at its 16-byte header; counting from just past the root
    // header therefore lands on the subdirectory's first entry.
    const int64_t entries_base = section_start + kDirectoryHeaderSize;

    uint8_t entry[8];
    for (int level = 0; level < 2; ++level) { // type, then name
        if (!PlatReadExactly(file, entry, sizeof entry) ||
            !SeekTo(file, entries_base + (U32At(entry + 4) & ~kHighBit)))
            return false;
    }
    // The language entry points at the data entry itself, so its offset is used unmasked.
    if (!PlatReadExactly(file, entry, sizeof entry) ||
        !SeekTo(file, section_start + U32At(entry + 4)))
        return false;

    uint8_t data_entry[16];
    if (!PlatReadExactly(file, data_entry, sizeof data_entry)) return false;
    const int64_t package_start =
        static_cast<int64_t>(U32At(data_entry)) - virtual_address + raw_pointer;
    // A seek past the end of a file succeeds; a package there would hold nothing.
    const int32_t file_end = PlatSeek(file, 0, kFromEnd);
    if (file_end < 0 || package_start >= file_end) return false;
    return SeekTo(file, package_start);
}

// Owns `file` from here on: returns it at the package start, or closes it.
FileHandle WalkOrClose(FileHandle file) {
    if (file == kNoFile) return kNoFile;
    if (!WalkToPackage(file)) {
        PlatClose(file);
        return kNoFile;
    }
    return file;
}

} // namespace

FileHandle LocatePackageInFile(const char* path) {
    return WalkOrClose(PlatOpenRead(path));
}

FileHandle LocatePackage() {
    return WalkOrClose(PlatOpenOwnFile());
}
