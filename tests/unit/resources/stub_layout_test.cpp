// Reads the built installer stub and proves that its layout is the one the package locator
// and the authoring tool rely on, and that its dialogs are the ones the installer drives.
#include "support/pe_checksum_reference.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Section {
    std::string name;
    uint32_t virtual_address, virtual_size, raw_pointer, raw_size;
};

struct Leaf {
    std::string type; // "#<id>" for numbered types
    uint32_t name, language, data_offset, size;
};

class Stub {
  public:
    explicit Stub(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (bytes.size() < 64) return;
        lfanew = U32(60);
        const uint16_t count = U16(lfanew + 6);
        optional_size = U16(lfanew + 20);
        for (uint16_t i = 0; i < count; ++i) {
            const uint32_t at = lfanew + 24 + optional_size + 40 * i;
            Section section{std::string(reinterpret_cast<const char*>(&bytes[at]), 8), U32(at + 12),
                            U32(at + 8), U32(at + 20), U32(at + 16)};
            section.name = section.name.c_str();
            sections.push_back(section);
        }
        for (const Section& section : sections)
            if (section.name == ".rsrc") rsrc = &section;
        if (rsrc) Walk(0, 0, "", 0);
    }

    uint16_t U16(size_t at) const {
        return static_cast<uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
    }
    uint32_t U32(size_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }

    uint32_t FileOffset(uint32_t rva) const {
        return rva - rsrc->virtual_address + rsrc->raw_pointer;
    }
    // Any section's RVA as a file offset; past the end of the file when no section holds it.
    uint32_t FileOffsetOf(uint32_t rva) const {
        for (const Section& s : sections)
            if (rva >= s.virtual_address && rva < s.virtual_address + s.raw_size)
                return rva - s.virtual_address + s.raw_pointer;
        return static_cast<uint32_t>(bytes.size());
    }
    struct DataDirectory {
        uint32_t rva, size;
    };
    DataDirectory Directory(int index) const {
        const uint32_t at = lfanew + 24 + 96 + 8 * index;
        return {U32(at), U32(at + 4)};
    }

    std::vector<uint8_t> bytes;
    uint32_t lfanew = 0;
    uint16_t optional_size = 0;
    std::vector<Section> sections;
    const Section* rsrc = nullptr;
    std::vector<Leaf> leaves; // in tree order
    int named_types = 0;

  private:
    void Walk(uint32_t offset, int level, std::string type, uint32_t name) {
        const uint32_t base = rsrc->raw_pointer;
        const uint16_t named = U16(base + offset + 12), numbered = U16(base + offset + 14);
        if (level == 0) named_types = named;
        for (uint32_t k = 0; k < uint32_t{named} + numbered; ++k) {
            const uint32_t id = U32(base + offset + 16 + 8 * k);
            const uint32_t target = U32(base + offset + 20 + 8 * k);
            std::string label;
            if (id & 0x80000000u) {
                const uint32_t at = base + (id & 0x7FFFFFFFu);
                for (uint16_t c = 0; c < U16(at); ++c)
                    label += static_cast<char>(U16(at + 2 + 2 * c));
            } else {
                label = "#" + std::to_string(id);
            }
            if (target & 0x80000000u) {
                if (level == 0)
                    Walk(target & 0x7FFFFFFFu, 1, label, 0);
                else
                    Walk(target & 0x7FFFFFFFu, 2, type, id);
            } else {
                leaves.push_back(
                    {type, name, id, FileOffset(U32(base + target)), U32(base + target + 4)});
            }
        }
    }
};

constexpr int kImportDirectory = 1, kResourceDirectory = 2, kBaseRelocationDirectory = 5;

const Stub& TheStub() {
    static const Stub stub(LMV_STUB_PATH);
    return stub;
}

class StubLayout : public testing::Test {
  protected:
    void SetUp() override {
        if (TheStub().bytes.empty())
            GTEST_SKIP() << "no stub at " << LMV_STUB_PATH << " (build the win32 preset)";
    }
};

TEST_F(StubLayout, IsAStaticPe32GuiExecutable) {
    const Stub& stub = TheStub();
    EXPECT_EQ(stub.U32(stub.lfanew), 0x4550u);      // "PE\0\0"
    EXPECT_EQ(stub.U16(stub.lfanew + 4), 0x14Cu);   // i386
    EXPECT_EQ(stub.optional_size, 224u);            // PE32, 16 directories
    EXPECT_EQ(stub.U16(stub.lfanew + 24), 0x10Bu);  // PE32 magic
    EXPECT_EQ(stub.U16(stub.lfanew + 24 + 68), 2u); // IMAGE_SUBSYSTEM_WINDOWS_GUI
}

// A library named in the import table is loaded before the installer's first instruction,
// and Windows looks for one that is not a KnownDLL in the installer's own folder first: a
// downloads folder. KnownDLLs always come from the system directory. Anything else (the
// compiler's runtime, WINMM, ...) would be a library planted beside the installer.
TEST_F(StubLayout, ImportsOnlyKnownDlls) {
    const Stub& stub = TheStub();
    const std::set<std::string> known = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                         "advapi32.dll", "shell32.dll", "msvcrt.dll"};
    const uint32_t import_rva = stub.Directory(kImportDirectory).rva;
    ASSERT_NE(import_rva, 0u);
    std::set<std::string> imported;
    for (uint32_t d = stub.FileOffsetOf(import_rva); stub.U32(d + 12) != 0; d += 20) {
        std::string dll(
            reinterpret_cast<const char*>(&stub.bytes[stub.FileOffsetOf(stub.U32(d + 12))]));
        for (char& c : dll)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imported.insert(dll);
    }
    for (const std::string& dll : imported)
        EXPECT_TRUE(known.count(dll)) << dll << " is not a KnownDLL";
    // The system's core libraries are there: the table was read, not skipped.
    EXPECT_TRUE(imported.count("kernel32.dll"));
    EXPECT_TRUE(imported.count("user32.dll"));
}

// Address-space layout randomisation needs the relocations kept, and the package must still
// end the file: the relocation section comes before the resource section, and the loader
// must find it where the header says, with every fix-up at an address of the image.
TEST_F(StubLayout, RandomisedBaseWithRelocationsBeforeTheResources) {
    const Stub& stub = TheStub();
    const uint16_t characteristics = stub.U16(stub.lfanew + 24 + 70);
    EXPECT_NE(characteristics & 0x0040, 0) << "DYNAMIC_BASE";
    EXPECT_NE(characteristics & 0x0100, 0) << "NX_COMPAT";
    EXPECT_EQ(stub.U16(stub.lfanew + 22) & 0x0001, 0) << "IMAGE_FILE_RELOCS_STRIPPED";

    ASSERT_GE(stub.sections.size(), 2u);
    const Section& reloc = stub.sections[stub.sections.size() - 2];
    ASSERT_EQ(reloc.name, ".reloc");
    ASSERT_EQ(&stub.sections.back(), stub.rsrc);
    EXPECT_EQ(stub.Directory(kBaseRelocationDirectory).rva, reloc.virtual_address);
    EXPECT_LE(stub.Directory(kBaseRelocationDirectory).size, reloc.virtual_size);
    EXPECT_EQ(stub.Directory(kResourceDirectory).rva, stub.rsrc->virtual_address);
    // Sections follow each other in memory without gaps or overlaps, and the image ends with
    // the last one.
    const uint32_t alignment = stub.U32(stub.lfanew + 24 + 32);
    for (size_t i = 1; i < stub.sections.size(); ++i) {
        const Section& before = stub.sections[i - 1];
        EXPECT_EQ(stub.sections[i].virtual_address,
                  (before.virtual_address + before.virtual_size + alignment - 1) / alignment *
                      alignment)
            << stub.sections[i].name;
    }
    EXPECT_EQ(stub.U32(stub.lfanew + 24 + 56),
              (stub.rsrc->virtual_address + stub.rsrc->virtual_size + alignment - 1) / alignment *
                  alignment);

    const uint32_t image_base = stub.U32(stub.lfanew + 24 + 28);
    const uint32_t image_size = stub.U32(stub.lfanew + 24 + 56);
    int fixups = 0;
    const uint32_t start = reloc.raw_pointer;
    const uint32_t end = start + stub.Directory(kBaseRelocationDirectory).size;
    for (uint32_t block = start; block + 8 <= end;) {
        const uint32_t page = stub.U32(block), size = stub.U32(block + 4);
        ASSERT_GE(size, 8u);
        for (uint32_t entry = block + 8; entry + 2 <= block + size; entry += 2) {
            const uint16_t fixup = stub.U16(entry);
            if (fixup >> 12 == 0) continue; // padding
            ASSERT_EQ(fixup >> 12, 3) << "only 32-bit fix-ups in a 32-bit image";
            const uint32_t address = stub.U32(stub.FileOffsetOf(page + (fixup & 0xFFF)));
            EXPECT_GE(address, image_base);
            EXPECT_LT(address, image_base + image_size);
            ++fixups;
        }
        block += size;
    }
    EXPECT_GT(fixups, 100);
}

TEST_F(StubLayout, ChecksumIsTheFilesOwn) {
    const Stub& stub = TheStub();
    EXPECT_EQ(StoredPeChecksum(stub.bytes), ReferencePeChecksum(stub.bytes));
}

TEST_F(StubLayout, ResourceSectionIsTheLastSectionAndEndsTheFile) {
    const Stub& stub = TheStub();
    ASSERT_NE(stub.rsrc, nullptr);
    EXPECT_EQ(&stub.sections.back(), stub.rsrc) << "a section follows .rsrc";
    EXPECT_EQ(stub.rsrc->raw_pointer + stub.rsrc->raw_size, stub.bytes.size());
}

TEST_F(StubLayout, PackageResourceIsTheOnlyNamedTypeAndTheFirstLeaf) {
    const Stub& stub = TheStub();
    ASSERT_FALSE(stub.leaves.empty());
    EXPECT_EQ(stub.named_types, 1);
    const Leaf& first = stub.leaves.front();
    EXPECT_EQ(first.type, "LASTRES");
    EXPECT_EQ(first.name, 1000u);
    EXPECT_EQ(first.language, 1033u);
    EXPECT_EQ(first.size, 4u);
    for (size_t i = 1; i < stub.leaves.size(); ++i)
        EXPECT_EQ(stub.leaves[i].type[0], '#');
}

TEST_F(StubLayout, PackageResourceDataComesLastInTheResourceSection) {
    const Stub& stub = TheStub();
    const Leaf& package = stub.leaves.front();
    for (size_t i = 1; i < stub.leaves.size(); ++i)
        EXPECT_LE(stub.leaves[i].data_offset + stub.leaves[i].size, package.data_offset)
            << stub.leaves[i].type << "/" << stub.leaves[i].name;
    EXPECT_LE(package.data_offset + package.size, stub.rsrc->raw_pointer + stub.rsrc->raw_size);
}

TEST_F(StubLayout, CarriesTheProgramIcon) {
    int icons = 0, groups = 0;
    for (const Leaf& leaf : TheStub().leaves) {
        icons += leaf.type == "#3";
        groups += leaf.type == "#14";
    }
    EXPECT_GE(icons, 1);
    EXPECT_EQ(groups, 1);
}

// A dialog template as the dialog manager reads it.
struct Control {
    uint32_t style;
    int16_t x, y, cx, cy;
    uint16_t id, window_class;
    std::string text;
};
struct Dialog {
    uint32_t style, ex_style;
    int16_t x, y, cx, cy;
    std::string caption, font;
    uint16_t point_size = 0;
    std::vector<Control> controls;
};

Dialog ReadDialog(const Stub& stub, uint32_t id) {
    const Leaf* leaf = nullptr;
    for (const Leaf& l : stub.leaves)
        if (l.type == "#5" && l.name == id) leaf = &l;
    EXPECT_NE(leaf, nullptr) << "no dialog " << id;
    if (!leaf) return {};
    EXPECT_EQ(leaf->language, 1033u);
    size_t at = leaf->data_offset;
    auto u16 = [&] {
        const uint16_t v = stub.U16(at);
        at += 2;
        return v;
    };
    auto u32 = [&] {
        const uint32_t v = stub.U32(at);
        at += 4;
        return v;
    };
    auto text = [&] {
        std::string s;
        for (uint16_t c = u16(); c != 0; c = u16())
            s += static_cast<char>(c);
        return s;
    };
    auto ordinal_or_text = [&](uint16_t* ordinal) {
        if (stub.U16(at) == 0xFFFF) {
            at += 2;
            *ordinal = u16();
            return std::string();
        }
        *ordinal = 0;
        return text();
    };
    Dialog d{};
    d.style = u32();
    d.ex_style = u32();
    const uint16_t count = u16();
    d.x = static_cast<int16_t>(u16());
    d.y = static_cast<int16_t>(u16());
    d.cx = static_cast<int16_t>(u16());
    d.cy = static_cast<int16_t>(u16());
    uint16_t ordinal;
    EXPECT_EQ(ordinal_or_text(&ordinal), ""); // no menu
    EXPECT_EQ(ordinal_or_text(&ordinal), ""); // default class
    d.caption = text();
    if (d.style & 0x40) {
        d.point_size = u16();
        d.font = text();
    }
    for (uint16_t i = 0; i < count; ++i) {
        at = (at + 3) & ~size_t{3};
        Control c{};
        c.style = u32();
        u32(); // extended style
        c.x = static_cast<int16_t>(u16());
        c.y = static_cast<int16_t>(u16());
        c.cx = static_cast<int16_t>(u16());
        c.cy = static_cast<int16_t>(u16());
        c.id = u16();
        ordinal_or_text(&c.window_class);
        c.text = ordinal_or_text(&ordinal);
        at += u16(); // creation data
        d.controls.push_back(c);
    }
    return d;
}

constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

TEST_F(StubLayout, InstallDialogIsAHiddenCaptionlessProgressBox) {
    const Dialog d = ReadDialog(TheStub(), 103);
    // WS_POPUP | DS_MODALFRAME | DS_CENTER | DS_SETFONT: not visible when created.
    EXPECT_EQ(d.style, 0x800008C0u);
    EXPECT_EQ(d.ex_style, 0u);
    EXPECT_EQ(d.caption, "");
    EXPECT_EQ(d.font, "MS Sans Serif");
    EXPECT_EQ(d.point_size, 8);
    EXPECT_EQ((std::vector<int16_t>{d.x, d.y, d.cx, d.cy}), (std::vector<int16_t>{0, 0, 187, 99}));
    ASSERT_EQ(d.controls.size(), 5u);
    struct Expected {
        uint16_t id, window_class;
        const char* text;
        int16_t x, y, cx, cy;
        uint32_t style;
    };
    const Expected expected[] = {
        {1, kButton, "OK", 131, 6, 50, 14, 0x40010000u},     // push, tab stop, hidden
        {2, kButton, "Cancel", 68, 78, 50, 14, 0x50010001u}, // default push, visible
        {0xFFFF, kStatic, "Installing", 50, 15, 86, 8, 0x50020001u},
        {0xFFFF, kStatic, "Please Wait...", 48, 50, 90, 8, 0x50020001u},
        {1001, kStatic, "", 4, 31, 178, 8, 0x50020081u}, // centred, no prefix
    };
    for (size_t i = 0; i < 5; ++i) {
        const Control& c = d.controls[i];
        EXPECT_EQ(c.id, expected[i].id) << i;
        EXPECT_EQ(c.window_class, expected[i].window_class) << i;
        EXPECT_EQ(c.text, expected[i].text) << i;
        EXPECT_EQ(
            (std::vector<int16_t>{c.x, c.y, c.cx, c.cy}),
            (std::vector<int16_t>{expected[i].x, expected[i].y, expected[i].cx, expected[i].cy}))
            << i;
        EXPECT_EQ(c.style, expected[i].style) << i;
    }
}

TEST_F(StubLayout, AgreementDialogHasAcceptDeclineAndAReadOnlyText) {
    const Dialog d = ReadDialog(TheStub(), 106);
    // WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
    EXPECT_EQ(d.style, 0x90C800C0u);
    EXPECT_EQ(d.caption, "License Agreement");
    EXPECT_EQ(d.font, "MS Sans Serif");
    EXPECT_EQ(d.point_size, 8);
    EXPECT_EQ((std::vector<int16_t>{d.x, d.y, d.cx, d.cy}), (std::vector<int16_t>{0, 0, 391, 262}));
    ASSERT_EQ(d.controls.size(), 3u);
    EXPECT_EQ(d.controls[0].id, 1);
    EXPECT_EQ(d.controls[0].text, "Accept");
    EXPECT_EQ(d.controls[0].style, 0x50010000u);
    EXPECT_EQ((std::vector<int16_t>{d.controls[0].x, d.controls[0].y, d.controls[0].cx,
                                    d.controls[0].cy}),
              (std::vector<int16_t>{137, 240, 50, 14}));
    EXPECT_EQ(d.controls[1].id, 2);
    EXPECT_EQ(d.controls[1].text, "Decline");
    EXPECT_EQ(d.controls[1].style, 0x50010001u);
    EXPECT_EQ((std::vector<int16_t>{d.controls[1].x, d.controls[1].y, d.controls[1].cx,
                                    d.controls[1].cy}),
              (std::vector<int16_t>{203, 240, 50, 14}));
    EXPECT_EQ(d.controls[2].id, 1009);
    EXPECT_EQ(d.controls[2].window_class, kEdit);
    EXPECT_EQ(d.controls[2].text, "");
    // ES_MULTILINE | ES_NOHIDESEL | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_TABSTOP
    EXPECT_EQ(d.controls[2].style, 0x50A10904u);
    EXPECT_EQ((std::vector<int16_t>{d.controls[2].x, d.controls[2].y, d.controls[2].cx,
                                    d.controls[2].cy}),
              (std::vector<int16_t>{12, 12, 366, 216}));
}

} // namespace
