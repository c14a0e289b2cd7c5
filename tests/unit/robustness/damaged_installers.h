// A good installer and the damaged installers made from it: cut at every structural
// boundary, offsets and sizes past the end, a text length of 65535 in a short file, a table
// without its terminator, names without NUL, UnpackedSize 0xFFFFFFFF, data offsets into the
// header and the table, a compressed stream of random bytes.
//
// Each damaged installer carries what the installer's passes and its member loop must make
// of it, worked out from what the damage touched: the tests compare, the fuzz corpus
// generator writes the bytes out as seeds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ExpectedMember {
    uint64_t size = 0;            // bytes the destination holds afterwards
    std::vector<uint8_t> content; // compared when check_content is set
    bool check_content = false;
    bool cut_short = false; // its stored bytes do not all lie in the file: the loop ends here
};

struct DamagedInstaller {
    std::string name;         // unique, usable as a file name
    std::string damage_class; // the class the figures in docs/robustness.md count
    std::vector<uint8_t> bytes;
    bool locates = true;                 // LocatePackage gives a handle
    bool header_read = true;             // ReadPackageHeader fills its outputs
    std::optional<uint32_t> total;       // SumMemberSizes; nullopt when it reports failure
    bool agreement = true;               // ReadAgreementText gives the text
    bool table_opens = true;             // OpenMemberTable gives a handle
    std::vector<ExpectedMember> members; // what the member loop writes, in table order
    bool walk_reaches_end = true; // the loop reads the terminating entry (no member cut short)
};

// Where the structures of the good installer lie (file offsets).
struct InstallerLayout {
    uint32_t lfanew = 0;
    uint32_t section_table = 0;
    uint32_t section_count = 0;
    uint32_t rsrc_section_header = 0;
    uint32_t rsrc_start = 0;     // S
    uint32_t name_entry = 0;     // first entry of the name directory
    uint32_t language_entry = 0; // first entry of the language directory
    uint32_t data_entry = 0;
    uint32_t package = 0; // first byte of the package
    uint32_t agreement_length = 0;
    uint32_t name_field = 0;
    uint32_t fields = 0; // NeedsDirectX, colours, reserved, FirstMediaNumber
    uint32_t table = 0;
    uint32_t table_end = 0; // just past the terminating entry
};

struct GoodMember {
    uint32_t entry_offset = 0;
    uint32_t data_offset = 0;
    uint32_t stored_size = 0;
    uint32_t unpacked_size = 0;
    std::vector<uint8_t> content; // the member as installed
};

struct GoodInstaller {
    std::vector<uint8_t> bytes;
    InstallerLayout layout;
    std::string agreement;
    std::string name;
    uint32_t total = 0;
    std::vector<GoodMember> members; // 0 stored, 1 compressed, 2 stored, 3 compressed, 4 stored
};

// Five members, two of them compressed by the authoring tool's encoder, and an agreement.
GoodInstaller BuildGoodInstaller();

// The good installer's own expectations (everything reads, every member comes out whole).
DamagedInstaller Undamaged(const GoodInstaller& good);

// At least 50 damaged installers, every one with a distinct name.
std::vector<DamagedInstaller> MakeDamagedInstallers(const GoodInstaller& good);
