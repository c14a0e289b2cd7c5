// Builds small PE32 files in memory with a chosen section table and resource directory, so
// the locator can be tested on layouts the real linker never produces.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct SyntheticPe {
    // Section names in table order; ".rsrc" may stand anywhere or be missing.
    std::vector<std::string> sections = {".text", ".rsrc"};
    uint32_t rsrc_virtual_address = 0x5000;
    // Offsets inside the resource section (from its start) of the directories below the
    // first type entry and of the data entry; defaults keep everything compact.
    uint32_t name_directory = 0x30;
    uint32_t language_directory = 0xA0;
    uint32_t data_entry = 0x130;
    // Where the first leaf's data lies, relative to the section's start.
    uint32_t data_offset_in_section = 0x180;
    uint32_t declared_size = 4;
    // Extra numbered types after the first one (never followed by the walk).
    int extra_numbered_types = 2;
    // First type entry as a name ("LASTRES") or as id 3 (an icon type).
    bool first_type_named = true;
};

struct BuiltPe {
    std::vector<uint8_t> bytes;
    uint32_t package_offset; // file offset where the package begins
    uint32_t rsrc_raw_pointer;
};

// The file ends at the first leaf's data; append a package to `bytes` to make an installer.
BuiltPe BuildSyntheticPe(const SyntheticPe& layout);

// A package as the authoring tool lays it out, for the given file offset of its start.
struct TestMember {
    std::vector<uint8_t> data; // stored bytes
    uint32_t unpacked_size = 0;
    std::string suffix;
    uint8_t prefix_kind = ' ';
};
struct TestPackage {
    std::string agreement;
    std::string name = "Aurora";
    uint32_t needs_directx = 0;
    uint32_t top_color = 0x00FF0000;
    uint32_t bottom_color = 0;
    uint16_t first_media_number = 1;
    std::vector<TestMember> members;
};
std::vector<uint8_t> SerializePackage(const TestPackage& package, uint32_t package_offset);

// A package of `count` stored members of 10 bytes each, the media ones named ".MID": for tests
// of the paths an installation writes to.
TestPackage PackageOfSmallMembers(int count);

// The folder of this test process's temporary files. Its name holds the process id: several
// checkouts on one machine run the same tests at once.
std::filesystem::path UnitTempFolder();

// Writes bytes to a fresh file in the test's temporary folder and returns its path.
std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// A whole installer: synthetic stub plus package, written to a temp file.
std::string WriteSyntheticInstaller(const std::string& name, const TestPackage& package,
                                    const SyntheticPe& layout = {});
