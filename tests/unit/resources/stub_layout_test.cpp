// Reads the built installer stub and proves that its layout is the one the package locator
// and the authoring tool rely on, and that its dialogs hold what the installer's code uses.
#include "support/pe_file.h"
#include "support/pefile_checksums.h"

#include "resources/resource_ids.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

const PeFile& TheStub() {
    static const PeFile stub = PeFile::Read(LMV_STUB_PATH);
    return stub;
}

class StubLayout : public testing::Test {
  protected:
    void SetUp() override {
        if (TheStub().Empty())
            GTEST_SKIP() << "no stub at " << LMV_STUB_PATH << " (build the win32 preset)";
    }
};

TEST_F(StubLayout, IsAStaticPe32GuiExecutable) {
    const PeFile& stub = TheStub();
    EXPECT_EQ(stub.U32(stub.lfanew), 0x4550u);     // "PE\0\0"
    EXPECT_EQ(stub.U16(stub.lfanew + 4), 0x14Cu);  // i386
    EXPECT_EQ(stub.optional_size, 224u);           // PE32, 16 directories
    EXPECT_EQ(stub.U16(stub.lfanew + 24), 0x10Bu); // PE32 magic
    EXPECT_EQ(stub.Subsystem(), kPeGuiSubsystem);
}

// Every download carries the stub: it stays within 44 KB (docs/benchmarks.md has its sections).
TEST_F(StubLayout, StaysWithinItsSizeBudget) {
    EXPECT_LE(TheStub().bytes.size(), 44u * 1024u);
}

// A library named in the import table is loaded before the installer's first instruction,
// and Windows looks for one that is not a KnownDLL in the installer's own folder first: a
// downloads folder. KnownDLLs always come from the system directory. Anything else (the
// compiler's runtime, WINMM, ...) would be a library planted beside the installer.
TEST_F(StubLayout, ImportsOnlyKnownDlls) {
    const PeFile& stub = TheStub();
    ASSERT_NE(stub.Directory(kPeImportDirectory).rva, 0u);
    const std::set<std::string> imported = stub.ImportedLibraries();
    for (const std::string& dll : imported)
        EXPECT_TRUE(kKnownDlls.count(dll)) << dll << " is not a KnownDLL";
    // The system's core libraries are there: the table was read, not skipped.
    EXPECT_TRUE(imported.count("kernel32.dll"));
    EXPECT_TRUE(imported.count("user32.dll"));
}

// Address-space layout randomisation needs the relocations kept, and the package must still
// end the file: the relocation section comes before the resource section, and the loader
// must find it where the header says, with every fix-up at an address of the image.
TEST_F(StubLayout, RandomisedBaseWithRelocationsBeforeTheResources) {
    const PeFile& stub = TheStub();
    EXPECT_NE(stub.DllCharacteristics() & kPeDynamicBase, 0) << "DYNAMIC_BASE";
    EXPECT_NE(stub.DllCharacteristics() & kPeNxCompatible, 0) << "NX_COMPAT";
    EXPECT_EQ(stub.Characteristics() & kPeRelocationsStripped, 0) << "IMAGE_FILE_RELOCS_STRIPPED";

    ASSERT_GE(stub.sections.size(), 2u);
    const PeSection& reloc = stub.sections[stub.sections.size() - 2];
    ASSERT_EQ(reloc.name, ".reloc");
    ASSERT_EQ(&stub.sections.back(), stub.Rsrc());
    EXPECT_EQ(stub.Directory(kPeBaseRelocationDirectory).rva, reloc.virtual_address);
    EXPECT_LE(stub.Directory(kPeBaseRelocationDirectory).size, reloc.virtual_size);
    EXPECT_EQ(stub.Directory(kPeResourceDirectory).rva, stub.Rsrc()->virtual_address);
    // Sections follow each other in memory without gaps or overlaps, and the image ends with
    // the last one.
    const uint32_t alignment = stub.U32(stub.lfanew + 24 + 32);
    for (size_t i = 1; i < stub.sections.size(); ++i) {
        const PeSection& before = stub.sections[i - 1];
        EXPECT_EQ(stub.sections[i].virtual_address,
                  (before.virtual_address + before.virtual_size + alignment - 1) / alignment *
                      alignment)
            << stub.sections[i].name;
    }
    EXPECT_EQ(stub.U32(stub.lfanew + 24 + 56),
              (stub.Rsrc()->virtual_address + stub.Rsrc()->virtual_size + alignment - 1) /
                  alignment * alignment);

    const uint32_t image_base = stub.U32(stub.lfanew + 24 + 28);
    const uint32_t image_size = stub.U32(stub.lfanew + 24 + 56);
    int fixups = 0;
    const uint32_t start = reloc.raw_pointer;
    const uint32_t end = start + stub.Directory(kPeBaseRelocationDirectory).size;
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

// On a Remote Desktop host Windows gives a program without this flag a per-user copy of what
// it writes to the Windows directory (and of system.ini), where the uninstaller never looks
// and other users never see the screen saver.
TEST_F(StubLayout, IsTerminalServerAware) {
    EXPECT_NE(TheStub().DllCharacteristics() & kPeTerminalServerAware, 0);
}

// Held against python's pefile, which reads the field and sums the file by itself.
TEST_F(StubLayout, ChecksumIsTheFilesOwn) {
    const PefileChecksums checksums = ChecksumsByPefile(LMV_STUB_PATH);
    ASSERT_TRUE(checksums.read) << checksums.error;
    EXPECT_EQ(checksums.stored, checksums.computed);
}

TEST_F(StubLayout, ResourceSectionIsTheLastSectionAndEndsTheFile) {
    const PeFile& stub = TheStub();
    ASSERT_NE(stub.Rsrc(), nullptr);
    EXPECT_EQ(&stub.sections.back(), stub.Rsrc()) << "a section follows .rsrc";
    EXPECT_EQ(stub.Rsrc()->raw_pointer + stub.Rsrc()->raw_size, stub.bytes.size());
}

TEST_F(StubLayout, PackageResourceIsTheOnlyNamedTypeAndTheFirstLeaf) {
    const PeFile& stub = TheStub();
    ASSERT_FALSE(stub.resources.empty());
    EXPECT_EQ(stub.named_types, 1);
    const PeResource& first = stub.resources.front();
    EXPECT_EQ(first.type, "LASTRES");
    EXPECT_EQ(first.name, 1000u);
    EXPECT_EQ(first.language, 1033u);
    EXPECT_EQ(first.size, 4u);
    for (size_t i = 1; i < stub.resources.size(); ++i)
        EXPECT_EQ(stub.resources[i].type[0], '#');
}

TEST_F(StubLayout, PackageResourceDataComesLastInTheResourceSection) {
    const PeFile& stub = TheStub();
    const PeResource& package = stub.resources.front();
    for (size_t i = 1; i < stub.resources.size(); ++i)
        EXPECT_LE(stub.resources[i].data_offset + stub.resources[i].size, package.data_offset)
            << stub.resources[i].type << "/" << stub.resources[i].name;
    EXPECT_LE(package.data_offset + package.size, stub.Rsrc()->raw_pointer + stub.Rsrc()->raw_size);
}

TEST_F(StubLayout, CarriesTheProgramIcon) {
    int icons = 0, groups = 0;
    for (const PeResource& leaf : TheStub().resources) {
        icons += leaf.type == "#3";
        groups += leaf.type == "#14";
    }
    EXPECT_GE(icons, 1);
    EXPECT_EQ(groups, 1);
}

// A dialog template as the dialog manager reads it; the coordinates are read past, as the
// code depends on none of them.
struct Control {
    uint32_t style;
    uint16_t id, window_class;
    std::string text;
};
struct Dialog {
    uint32_t style = 0;
    std::string caption;
    std::vector<Control> controls;
};

Dialog ReadDialog(const PeFile& stub, uint32_t id) {
    const PeResource* leaf = stub.Resource("#5", id);
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
    Dialog d;
    d.style = u32();
    u32(); // extended style
    const uint16_t count = u16();
    at += 8; // position and size
    uint16_t ordinal;
    EXPECT_EQ(ordinal_or_text(&ordinal), ""); // no menu
    EXPECT_EQ(ordinal_or_text(&ordinal), ""); // default class
    d.caption = text();
    if (d.style & 0x40) { // DS_SETFONT: point size and face name
        u16();
        text();
    }
    for (uint16_t i = 0; i < count; ++i) {
        at = (at + 3) & ~size_t{3};
        Control c{};
        c.style = u32();
        u32();   // extended style
        at += 8; // position and size
        c.id = u16();
        ordinal_or_text(&c.window_class);
        c.text = ordinal_or_text(&ordinal);
        at += u16(); // creation data
        d.controls.push_back(c);
    }
    return d;
}

// The control of that id; fails the test and gives null when the dialog has none or several.
const Control* Find(const Dialog& dialog, uint16_t id) {
    const Control* found = nullptr;
    int count = 0;
    for (const Control& control : dialog.controls)
        if (control.id == id) {
            found = &control;
            ++count;
        }
    EXPECT_EQ(count, 1) << "controls of id " << id << " in dialog " << dialog.caption;
    return count == 1 ? found : nullptr;
}

bool HasText(const Dialog& dialog, const std::string& text) {
    for (const Control& control : dialog.controls)
        if (control.text == text) return true;
    return false;
}

// The system's ids of the OK and Cancel commands, which the dialog procedures handle.
constexpr uint16_t kIdOk = 1, kIdCancel = 2;
// Predefined window classes of a dialog template.
constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
// Window and control styles.
constexpr uint32_t kVisible = 0x10000000, kCaption = 0x00C00000, kVerticalScroll = 0x00200000;
constexpr uint32_t kCentredDialog = 0x0800;                           // DS_CENTER
constexpr uint32_t kButtonKind = 0x000F, kDefaultPushButton = 0x0001; // BS_DEFPUSHBUTTON
constexpr uint32_t kNoPrefix = 0x0080;                                // SS_NOPREFIX
constexpr uint32_t kMultiline = 0x0004, kReadOnly = 0x0800;           // ES_MULTILINE, ES_READONLY

enum class Shown { kNo, kYes };
enum class Default { kNo, kYes };

// The button of that id: its text (unless null), whether it is visible, whether it is the
// default push button (the one Return presses).
void ExpectButton(const Dialog& d, uint16_t id, const char* text, Shown shown, Default by_default) {
    const Control* button = Find(d, id);
    if (!button) return;
    EXPECT_EQ(button->window_class, kButton) << id;
    if (text) {
        EXPECT_EQ(button->text, text);
    }
    EXPECT_EQ((button->style & kVisible) != 0, shown == Shown::kYes) << "visibility of " << id;
    EXPECT_EQ((button->style & kButtonKind) == kDefaultPushButton, by_default == Default::kYes)
        << "default button " << id;
}

// The progress dialog: created hidden, shown by the installer after its questions; it presses
// the hidden OK itself when the files are written (the user must not be able to), Cancel asks
// whether to abort, and the installer writes the name of the
// file being written into IDC_INSTALL_TITLE, which the GUI driver and `lmvpack try` also
// recognise the dialog by.
TEST_F(StubLayout, InstallDialogIsAHiddenCaptionlessProgressBox) {
    const Dialog d = ReadDialog(TheStub(), IDD_INSTALL_DIALOG);
    EXPECT_EQ(d.style & kVisible, 0u) << "shown before the installer shows it";
    EXPECT_EQ(d.style & kCaption, 0u);
    EXPECT_EQ(d.caption, "");
    EXPECT_NE(d.style & kCentredDialog, 0u);

    // Return presses the default button, and without one it sends IDOK: Cancel must be it.
    ExpectButton(d, kIdOk, nullptr, Shown::kNo, Default::kNo);
    ExpectButton(d, kIdCancel, nullptr, Shown::kYes, Default::kYes);

    const Control* title = Find(d, IDC_INSTALL_TITLE);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->window_class, kStatic);
    EXPECT_NE(title->style & kVisible, 0u);
    EXPECT_NE(title->style & kNoPrefix, 0u) << "an '&' in a file name would be taken as a prefix";

    EXPECT_TRUE(HasText(d, "Installing"));
    EXPECT_TRUE(HasText(d, "Please Wait..."));
}

// The agreement: OK (Accept) and Cancel (Decline) are the answers the dialog procedure takes,
// Decline is the default, and the code fills IDC_AGREEMENT_TEXT with an agreement that the
// user scrolls through and cannot change.
TEST_F(StubLayout, AgreementDialogHasAcceptDeclineAndAReadOnlyText) {
    const Dialog d = ReadDialog(TheStub(), IDD_AGREEMENT_DIALOG);
    EXPECT_EQ(d.caption, "License Agreement");
    EXPECT_EQ(d.style & kCaption, kCaption);
    EXPECT_NE(d.style & kVisible, 0u);

    ExpectButton(d, kIdOk, "Accept", Shown::kYes, Default::kNo);
    ExpectButton(d, kIdCancel, "Decline", Shown::kYes, Default::kYes);

    const Control* text = Find(d, IDC_AGREEMENT_TEXT);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->window_class, kEdit);
    EXPECT_NE(text->style & kVisible, 0u);
    EXPECT_EQ(text->style & (kMultiline | kReadOnly | kVerticalScroll),
              kMultiline | kReadOnly | kVerticalScroll);
}

} // namespace
