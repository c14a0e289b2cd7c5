#include "robustness/damaged_installers.h"

#include "support/synthetic_pe.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace {

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void Set32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Set16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(generator() >> 24);
    return bytes;
}

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// What the installer's passes and member loop make of `bytes`, whose package (if the locator
// finds one) begins at `package`. This is the format's own definition of the results, over
// memory: a field the file cannot supply whole fails its pass; a member gets the bytes the
// file holds for it, and a compressed one its unpacked size (zero bits past the end); the
// loop ends after a member whose stored bytes run past the end of the file.
void Predict(DamagedInstaller& damaged, uint64_t package, const GoodInstaller& good) {
    const std::vector<uint8_t>& bytes = damaged.bytes;
    const uint64_t size = bytes.size();
    damaged.header_read = damaged.agreement = damaged.table_opens = false;
    damaged.walk_reaches_end = false;
    damaged.total.reset();
    damaged.members.clear();
    if (!damaged.locates || package + 2 > size) return;

    const uint32_t length = bytes[package] | bytes[package + 1] << 8;
    const uint64_t name = package + 2 + length;
    damaged.agreement = length != 0 && name <= size;
    damaged.header_read = name + 260 + 12 <= size;
    const uint64_t table = name + 260 + 16;
    damaged.table_opens = table <= size;
    if (!damaged.table_opens) return;

    uint32_t total = 0;
    bool walking = true;
    for (uint64_t at = table; at + 28 <= size; at += 28) {
        const uint32_t data_offset = Get32(bytes, at);
        const uint32_t stored = Get32(bytes, at + 4);
        const uint32_t unpacked = Get32(bytes, at + 8);
        total += unpacked != 0 ? unpacked : stored;
        if (stored == 0) {
            damaged.walk_reaches_end = walking;
            damaged.total = total;
            return;
        }
        if (!walking) continue; // the table still counts for the size sum
        ExpectedMember member;
        member.cut_short = uint64_t{data_offset} + stored > size;
        walking = !member.cut_short;
        if (unpacked == 0) {
            const uint64_t available =
                data_offset > 0x7FFFFFFFu || data_offset >= size ? 0 : size - data_offset;
            member.size = std::min<uint64_t>(stored, available);
            member.content.assign(bytes.begin() + static_cast<std::ptrdiff_t>(data_offset),
                                  bytes.begin() +
                                      static_cast<std::ptrdiff_t>(data_offset + member.size));
            member.check_content = true;
        } else {
            member.size = unpacked >= 0x80000000u ? 0 : unpacked;
            // A compressed member comes out as built when its entry and its stored bytes are
            // those of the good installer.
            for (const GoodMember& original : good.members) {
                if (original.unpacked_size != 0 && original.unpacked_size == unpacked &&
                    original.data_offset == data_offset && stored >= original.stored_size &&
                    uint64_t{data_offset} + original.stored_size <= size &&
                    std::equal(bytes.begin() + data_offset,
                               bytes.begin() + data_offset + original.stored_size,
                               good.bytes.begin() + data_offset)) {
                    member.content = original.content;
                    member.check_content = true;
                }
            }
        }
        damaged.members.push_back(std::move(member));
    }
}

struct Maker {
    const GoodInstaller& good;
    std::vector<DamagedInstaller> made;

    DamagedInstaller& Add(const std::string& damage_class, const std::string& name,
                          std::vector<uint8_t> bytes, bool locates = true,
                          uint64_t package = UINT64_MAX) {
        DamagedInstaller damaged;
        damaged.name = name;
        damaged.damage_class = damage_class;
        damaged.bytes = std::move(bytes);
        damaged.locates = locates;
        Predict(damaged, package == UINT64_MAX ? good.layout.package : package, good);
        made.push_back(std::move(damaged));
        return made.back();
    }

    // The file cut after `length` bytes: the locator needs everything up to the data entry,
    // and at least one byte of the package.
    void Cut(const std::string& where, uint32_t length) {
        std::vector<uint8_t> bytes(good.bytes.begin(), good.bytes.begin() + length);
        Add("cut short", "cut-" + where + "-at-" + std::to_string(length), std::move(bytes),
            length >= good.layout.data_entry + 16 && length > good.layout.package);
    }

    std::vector<uint8_t> Copy() const { return good.bytes; }
};

} // namespace

GoodInstaller BuildGoodInstaller() {
    GoodInstaller good;
    good.agreement = "Read me first.\r\nThis screen saver is free to use and to share.\r\n";
    good.name = "Aurora Drift";

    std::string data_file;
    for (int i = 0; i < 100; ++i)
        data_file +=
            "frame " + std::to_string(i) + ": drift=" + std::to_string(i * 7 % 13) + "\r\n";
    std::vector<uint8_t> media(2500);
    for (size_t i = 0; i < media.size(); ++i)
        media[i] = static_cast<uint8_t>((i * i) >> 5);

    // Roles by index: the screen saver, its data file, the uninstaller, two media files.
    const std::vector<std::pair<std::vector<uint8_t>, bool>> contents = {
        {RandomBytes(2100, 1), false},
        {Text(data_file), true},
        {RandomBytes(300, 2), false},
        {media, true},
        {RandomBytes(2049, 3), false}};
    const char* suffixes[] = {"", "", "", ".mid", ".wav"};

    TestPackage package;
    package.agreement = good.agreement;
    package.name = good.name;
    package.first_media_number = 1;
    for (size_t i = 0; i < contents.size(); ++i) {
        TestMember member;
        const auto& [content, compressed] = contents[i];
        member.data = compressed ? EncodeStream(content, CompressionLevel::Default) : content;
        member.unpacked_size = compressed ? static_cast<uint32_t>(content.size()) : 0;
        member.suffix = suffixes[i];
        member.prefix_kind = '_';
        package.members.push_back(member);
        good.total += static_cast<uint32_t>(content.size());
    }

    BuiltPe pe = BuildSyntheticPe({});
    const std::vector<uint8_t> body = SerializePackage(package, pe.package_offset);
    good.bytes = pe.bytes;
    good.bytes.insert(good.bytes.end(), body.begin(), body.end());

    InstallerLayout& layout = good.layout;
    layout.lfanew = Get32(good.bytes, 60);
    layout.section_table = layout.lfanew + 248;
    layout.section_count = good.bytes[layout.lfanew + 6] | good.bytes[layout.lfanew + 7] << 8;
    for (uint32_t i = 0; i < layout.section_count; ++i) {
        const uint32_t at = layout.section_table + 40 * i;
        if (std::memcmp(&good.bytes[at], ".rsrc\0\0\0", 8) == 0) layout.rsrc_section_header = at;
    }
    layout.rsrc_start = pe.rsrc_raw_pointer;
    const uint32_t entries = layout.rsrc_start + 16;
    layout.name_entry = entries + (Get32(good.bytes, layout.rsrc_start + 20) & 0x7FFFFFFFu);
    layout.language_entry = entries + (Get32(good.bytes, layout.name_entry + 4) & 0x7FFFFFFFu);
    layout.data_entry = layout.rsrc_start + Get32(good.bytes, layout.language_entry + 4);
    layout.package = pe.package_offset;
    layout.agreement_length = layout.package;
    layout.name_field = layout.package + 2 + static_cast<uint32_t>(good.agreement.size());
    layout.fields = layout.name_field + 260;
    layout.table = layout.fields + 16;
    layout.table_end = layout.table + 28 * static_cast<uint32_t>(contents.size() + 1);

    for (size_t i = 0; i < contents.size(); ++i) {
        GoodMember member;
        member.entry_offset = layout.table + 28 * static_cast<uint32_t>(i);
        member.data_offset = Get32(good.bytes, member.entry_offset);
        member.stored_size = Get32(good.bytes, member.entry_offset + 4);
        member.unpacked_size = Get32(good.bytes, member.entry_offset + 8);
        member.content = contents[i].first;
        good.members.push_back(member);
    }
    return good;
}

DamagedInstaller Undamaged(const GoodInstaller& good) {
    Maker maker{good, {}};
    return maker.Add("none", "good", good.bytes);
}

std::vector<DamagedInstaller> MakeDamagedInstallers(const GoodInstaller& good) {
    Maker m{good, {}};
    const InstallerLayout& l = good.layout;
    const uint32_t file_size = static_cast<uint32_t>(good.bytes.size());

    // Cut at every structural boundary and inside every structure.
    m.Cut("empty", 0);
    m.Cut("dos-header", 30);
    m.Cut("e-lfanew", 62);
    m.Cut("pe-signature", l.lfanew + 2);
    m.Cut("file-header", l.lfanew + 4 + 10);
    m.Cut("optional-header", l.lfanew + 24 + 100);
    m.Cut("section-table", l.section_table + 20);
    m.Cut("rsrc-section-header", l.rsrc_section_header + 39);
    m.Cut("root-directory", l.rsrc_start + 8);
    m.Cut("root-entry", l.rsrc_start + 20);
    m.Cut("name-entry", l.name_entry + 4);
    m.Cut("language-entry", l.language_entry + 6);
    m.Cut("data-entry", l.data_entry + 8);
    m.Cut("before-package", l.package);
    m.Cut("agreement-length", l.package + 1);
    m.Cut("agreement-text", l.package + 2 + static_cast<uint32_t>(good.agreement.size()) / 2);
    m.Cut("name", l.name_field + 100);
    m.Cut("needs-directx", l.fields + 2);
    m.Cut("colours", l.fields + 9);
    m.Cut("reserved", l.fields + 13);
    m.Cut("first-media-number", l.fields + 15);
    m.Cut("table-start", l.table);
    for (size_t i = 0; i < good.members.size(); ++i) {
        const GoodMember& member = good.members[i];
        const std::string n = std::to_string(i);
        m.Cut("entry" + n, member.entry_offset + 14);
        m.Cut("member" + n + "-data-start", member.data_offset);
        m.Cut("member" + n + "-data", member.data_offset + member.stored_size / 2);
        m.Cut("member" + n + "-data-end", member.data_offset + member.stored_size - 1);
    }
    m.Cut("terminator", l.table_end - 10);

    // Offsets and sizes past the end of the file.
    for (size_t i = 0; i < good.members.size(); ++i) {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, good.members[i].entry_offset, file_size + 4096);
        m.Add("offset or size past the end", "member" + std::to_string(i) + "-offset-past-end",
              std::move(bytes));
    }
    for (size_t i : {0, 1}) {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, good.members[i].entry_offset, 0xFFFFFFF0u);
        m.Add("offset or size past the end", "member" + std::to_string(i) + "-offset-beyond-2-gib",
              std::move(bytes));
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, good.members[4].entry_offset + 4, 0x7FFFFFFFu);
        m.Add("offset or size past the end", "last-member-stored-size-2-gib", std::move(bytes));
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, good.members[0].entry_offset + 4, 0xFFFFFFFFu);
        m.Add("offset or size past the end", "first-member-stored-size-4-gib", std::move(bytes));
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, good.members[1].entry_offset + 4, 0x7FFFFFFFu);
        m.Add("offset or size past the end", "compressed-stored-size-2-gib", std::move(bytes));
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, 60, 0x7FFFFFF0u);
        m.Add("offset or size past the end", "e-lfanew-past-end", std::move(bytes), false);
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, 60, 0xFFFFFFF0u);
        m.Add("offset or size past the end", "e-lfanew-negative", std::move(bytes), false);
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, l.rsrc_section_header + 20, file_size + 100);
        m.Add("offset or size past the end", "rsrc-raw-pointer-past-end", std::move(bytes), false);
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, l.rsrc_start + 20, 0xFFFFFFFFu);
        m.Add("offset or size past the end", "root-entry-offset-past-end", std::move(bytes), false);
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, l.language_entry + 4, 0x7FFFFFF0u);
        m.Add("offset or size past the end", "data-entry-offset-past-end", std::move(bytes), false);
    }
    {
        // The package would start beyond the end: the seek lands, the first read fails.
        std::vector<uint8_t> bytes = m.Copy();
        const uint32_t virtual_address = Get32(bytes, l.rsrc_section_header + 12);
        Set32(bytes, l.data_entry, virtual_address + (file_size + 10 - l.rsrc_start));
        m.Add("offset or size past the end", "package-start-past-end", std::move(bytes), false);
    }
    {
        // Data RVA below the section: the package would start before the file.
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, l.data_entry, 0);
        m.Add("offset or size past the end", "package-start-before-file", std::move(bytes), false);
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set16(bytes, l.lfanew + 6, 0xFFFF);
        bytes[l.rsrc_section_header + 1] = 'R';
        m.Add("offset or size past the end", "section-count-65535-without-rsrc", std::move(bytes),
              false);
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set16(bytes, l.lfanew + 6, 0);
        m.Add("offset or size past the end", "section-count-0", std::move(bytes), false);
    }

    // AgreementLength 65535 in a file far shorter than that.
    {
        std::vector<uint8_t> bytes = m.Copy();
        Set16(bytes, l.agreement_length, 0xFFFF);
        m.Add("agreement length 65535", "agreement-length-65535", std::move(bytes));
    }
    {
        // The length reaches exactly to the end of the file: the text reads, nothing else.
        std::vector<uint8_t> bytes = m.Copy();
        Set16(bytes, l.agreement_length, static_cast<uint16_t>(file_size - l.package - 2));
        m.Add("agreement length 65535", "agreement-length-to-end-of-file", std::move(bytes));
    }

    // No terminating entry.
    {
        std::vector<uint8_t> bytes(good.bytes.begin(), good.bytes.begin() + (l.table_end - 28));
        m.Add("no terminating entry", "table-ends-at-end-of-file", std::move(bytes));
    }
    {
        // The terminator becomes a sixth member (the first byte of the file) and the data
        // are gone, so the table runs into the end of the file.
        std::vector<uint8_t> bytes(good.bytes.begin(), good.bytes.begin() + l.table_end);
        Set32(bytes, l.table_end - 28 + 4, 1);
        m.Add("no terminating entry", "terminator-replaced-and-data-gone", std::move(bytes));
    }

    // Names without NUL.
    {
        std::vector<uint8_t> bytes = m.Copy();
        std::memset(&bytes[l.name_field], 'N', 260);
        m.Add("name without NUL", "screen-saver-name-without-nul", std::move(bytes));
    }
    {
        std::vector<uint8_t> bytes = m.Copy();
        std::memset(&bytes[good.members[3].entry_offset + 12], 'x', 15);
        bytes[good.members[3].entry_offset + 27] = 0;
        m.Add("name without NUL", "name-suffix-without-nul", std::move(bytes));
    }

    // Unpacked sizes that a signed count reads as negative.
    for (uint32_t unpacked : {0xFFFFFFFFu, 0x80000000u}) {
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, good.members[1].entry_offset + 8, unpacked);
        char name[48];
        std::snprintf(name, sizeof name, "unpacked-size-%08x", unpacked);
        m.Add("UnpackedSize 0xFFFFFFFF", name, std::move(bytes));
    }
    {
        // A stored member marked as compressed: its plain bytes decode to something.
        std::vector<uint8_t> bytes = m.Copy();
        Set32(bytes, good.members[0].entry_offset + 8, 0xFFFFFFFFu);
        m.Add("UnpackedSize 0xFFFFFFFF", "stored-member-unpacked-size-ffffffff", std::move(bytes));
    }

    // Data offsets into the header and into the table.
    for (size_t i : {0, 1}) {
        for (const auto& [where, offset] : {std::pair<std::string, uint32_t>{"header", l.package},
                                            std::pair<std::string, uint32_t>{"table", l.table}}) {
            std::vector<uint8_t> bytes = m.Copy();
            Set32(bytes, good.members[i].entry_offset, offset);
            m.Add("DataOffset into header or table",
                  "member" + std::to_string(i) + "-offset-into-" + where, std::move(bytes));
        }
    }

    // Compressed streams of random bytes, keeping their entries.
    for (size_t i : {1, 3}) {
        std::vector<uint8_t> bytes = m.Copy();
        const GoodMember& member = good.members[i];
        const std::vector<uint8_t> noise = RandomBytes(member.stored_size, 100 + i);
        std::copy(noise.begin(), noise.end(), bytes.begin() + member.data_offset);
        m.Add("compressed stream of random bytes", "member" + std::to_string(i) + "-random-stream",
              std::move(bytes));
    }
    {
        // A short random stream that must decode to 200 KB: it runs on zero bits and
        // through rebuilds of the model.
        std::vector<uint8_t> bytes = m.Copy();
        const GoodMember& member = good.members[3];
        const std::vector<uint8_t> noise = RandomBytes(member.stored_size, 200);
        std::copy(noise.begin(), noise.end(), bytes.begin() + member.data_offset);
        Set32(bytes, member.entry_offset + 8, 200000);
        m.Add("compressed stream of random bytes", "random-stream-200k", std::move(bytes));
    }
    return m.made;
}
