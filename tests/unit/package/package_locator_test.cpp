#include "package/package_locator.h"
#include "support/file_api_test_hooks.h"
#include "support/synthetic_pe.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Marker() {
    return {'P', 'K', 'G', '!', 1, 2, 3, 4, 5, 6, 7, 8};
}

// Builds a stub with `layout`, appends a marker where the package goes and returns the
// offset at which LocatePackage leaves the file, or -1.
int32_t LocatedOffset(const SyntheticPe& layout, uint32_t* expected = nullptr) {
    BuiltPe pe = BuildSyntheticPe(layout);
    if (expected) *expected = pe.package_offset;
    const std::vector<uint8_t> marker = Marker();
    pe.bytes.insert(pe.bytes.end(), marker.begin(), marker.end());
    PlatSetModuleFileName(WriteTempFile("stub.exe", pe.bytes).c_str());
    const FileHandle file = LocatePackage();
    if (file == kNoFile) return -1;
    const int32_t position = PlatSeek(file, 0, kFromCurrent);
    uint8_t first[4] = {};
    EXPECT_EQ(PlatRead(file, first, 4), 4u);
    EXPECT_EQ(std::memcmp(first, "PKG!", 4), 0);
    PlatClose(file);
    return position;
}

TEST(PackageLocator, FindsThePackageWhereverRsrcStandsInTheSectionTable) {
    for (const auto& sections :
         std::vector<std::vector<std::string>>{{".rsrc"},
                                               {".text", ".data", ".rsrc"},
                                               {".rsrc", ".text", ".data"},
                                               {".text", ".rsrc", ".rdata", ".idata", ".reloc"}}) {
        SyntheticPe layout;
        layout.sections = sections;
        uint32_t expected = 0;
        const int32_t located = LocatedOffset(layout, &expected);
        EXPECT_EQ(located, static_cast<int32_t>(expected))
            << "with .rsrc among " << sections.size() << " sections";
    }
}

TEST(PackageLocator, FollowsTheFirstLeafWhateverNumberedTypesFollowIt) {
    for (int extra : {0, 1, 3}) {
        SyntheticPe layout;
        layout.extra_numbered_types = extra;
        uint32_t expected = 0;
        const int32_t located = LocatedOffset(layout, &expected);
        EXPECT_EQ(located, static_cast<int32_t>(expected));
    }
}

TEST(PackageLocator, TakesTheFirstLeafWithoutComparingTypeNames) {
    SyntheticPe layout;
    layout.first_type_named = false; // a numbered first type is followed all the same
    uint32_t expected = 0;
    const int32_t located = LocatedOffset(layout, &expected);
    EXPECT_EQ(located, static_cast<int32_t>(expected));
}

TEST(PackageLocator, ReproducesTheWorkedExampleOffsets) {
    // Directories at 0x30 and 0xA0, data entry at 0x130, data 0x980 into the section.
    SyntheticPe layout;
    layout.name_directory = 0x30;
    layout.language_directory = 0xA0;
    layout.data_entry = 0x130;
    layout.data_offset_in_section = 0x980;
    uint32_t expected = 0;
    const int32_t located = LocatedOffset(layout, &expected);
    EXPECT_EQ(located, static_cast<int32_t>(expected));
    EXPECT_EQ(expected - BuildSyntheticPe(layout).rsrc_raw_pointer, 0x980u);
}

TEST(PackageLocator, PositionDependsOnTheDataRvaAloneNotOnTheDeclaredSize) {
    SyntheticPe layout;
    layout.declared_size = 4;
    BuiltPe pe = BuildSyntheticPe(layout);
    std::vector<uint8_t> package(100000, 0x5A); // runs far past the declared 4 bytes
    std::memcpy(package.data(), "PKG!", 4);
    pe.bytes.insert(pe.bytes.end(), package.begin(), package.end());
    PlatSetModuleFileName(WriteTempFile("big.exe", pe.bytes).c_str());
    const FileHandle file = LocatePackage();
    ASSERT_NE(file, kNoFile);
    std::vector<uint8_t> read(package.size());
    EXPECT_EQ(PlatRead(file, read.data(), static_cast<uint32_t>(read.size())), package.size());
    EXPECT_EQ(read, package);
    PlatClose(file);
}

// Every pass reads the one file opened when the program started, through a handle of its
// own that shares that file's position: each is positioned at the package when it is handed
// out, and closing one leaves the others usable.
TEST(PackageLocator, TwoCallsGiveTwoHandlesOnTheOneOpenFile) {
    SyntheticPe layout;
    uint32_t expected = 0;
    LocatedOffset(layout, &expected);
    const FileHandle first = LocatePackage();
    ASSERT_NE(first, kNoFile);
    uint8_t byte;
    PlatRead(first, &byte, 1);
    PlatRead(first, &byte, 1);
    EXPECT_EQ(PlatSeek(first, 0, kFromCurrent), static_cast<int32_t>(expected + 2));
    const FileHandle second = LocatePackage();
    ASSERT_NE(second, kNoFile);
    EXPECT_NE(first, second);
    EXPECT_EQ(PlatSeek(second, 0, kFromCurrent), static_cast<int32_t>(expected));
    PlatClose(second);
    ASSERT_EQ(PlatSeek(first, static_cast<int32_t>(expected), kFromStart),
              static_cast<int32_t>(expected));
    EXPECT_EQ(PlatRead(first, &byte, 1), 1u);
    EXPECT_EQ(byte, 'P');
    PlatClose(first);
}

// A running program can be renamed and another file put at its name: the package is still
// read from the file that was started.
TEST(PackageLocator, ReadsTheFileThatWasStartedWhateverLaterLiesAtItsName) {
    BuiltPe started = BuildSyntheticPe(SyntheticPe{});
    const std::vector<uint8_t> marker = Marker();
    started.bytes.insert(started.bytes.end(), marker.begin(), marker.end());
    const std::filesystem::path path = WriteTempFile("started.exe", started.bytes);
    PlatSetModuleFileName(path.c_str());
    const FileHandle at_start = LocatePackage();
    ASSERT_NE(at_start, kNoFile);
    PlatClose(at_start);

    std::filesystem::rename(path, path.parent_path() / "moved.exe");
    SyntheticPe other_layout;
    other_layout.sections = {".text", ".data", ".rsrc"};
    BuiltPe other = BuildSyntheticPe(other_layout);
    other.bytes.insert(other.bytes.end(), {'E', 'V', 'I', 'L'});
    WriteTempFile("started.exe", other.bytes);

    const FileHandle file = LocatePackage();
    ASSERT_NE(file, kNoFile);
    EXPECT_EQ(PlatSeek(file, 0, kFromCurrent), static_cast<int32_t>(started.package_offset));
    uint8_t first[4] = {};
    EXPECT_EQ(PlatRead(file, first, 4), 4u);
    EXPECT_EQ(std::memcmp(first, "PKG!", 4), 0);
    PlatClose(file);
}

TEST(PackageLocator, RefusesFilesThatAreNotInstallers) {
    SyntheticPe no_rsrc;
    no_rsrc.sections = {".text", ".data"};
    EXPECT_EQ(LocatedOffset(no_rsrc), -1);

    PlatSetModuleFileName("/nonexistent/installer.exe");
    EXPECT_EQ(LocatePackage(), kNoFile);

    // Cut short inside the headers, the section table and the resource directory.
    const BuiltPe pe = BuildSyntheticPe({});
    const size_t rsrc = pe.rsrc_raw_pointer;
    for (size_t cut : {size_t{10}, size_t{62}, size_t{0x90}, size_t{0x80 + 248 + 20}, rsrc + 8,
                       rsrc + 0x34, rsrc + 0x134}) {
        std::vector<uint8_t> bytes(pe.bytes.begin(), pe.bytes.begin() + cut);
        PlatSetModuleFileName(WriteTempFile("cut.exe", bytes).c_str());
        EXPECT_EQ(LocatePackage(), kNoFile) << "cut at " << cut;
    }
}

TEST(PackageLocator, RefusesPositionsOutsideTheFile) {
    // A data RVA below the section's address would put the package before the file start.
    SyntheticPe layout;
    BuiltPe pe = BuildSyntheticPe(layout);
    const size_t rva_at = pe.rsrc_raw_pointer + layout.data_entry;
    for (int i = 0; i < 4; ++i)
        pe.bytes[rva_at + i] = 0;
    PlatSetModuleFileName(WriteTempFile("negative.exe", pe.bytes).c_str());
    EXPECT_EQ(LocatePackage(), kNoFile);

    // And at or past the end, where a seek would still succeed.
    pe = BuildSyntheticPe(layout);
    pe.bytes.insert(pe.bytes.end(), {'P', 'K', 'G', '!'});
    const uint32_t rva = pe.bytes[rva_at] | pe.bytes[rva_at + 1] << 8 | pe.bytes[rva_at + 2] << 16 |
                         static_cast<uint32_t>(pe.bytes[rva_at + 3]) << 24;
    const uint32_t file_size = static_cast<uint32_t>(pe.bytes.size());
    for (const uint32_t at : {pe.package_offset, file_size, file_size + 1000000}) {
        std::vector<uint8_t> bytes = pe.bytes;
        const uint32_t moved = rva + (at - pe.package_offset);
        for (int i = 0; i < 4; ++i)
            bytes[rva_at + i] = static_cast<uint8_t>(moved >> (8 * i));
        PlatSetModuleFileName(WriteTempFile("moved.exe", bytes).c_str());
        const FileHandle file = LocatePackage();
        EXPECT_EQ(file != kNoFile, at == pe.package_offset) << at;
        if (file != kNoFile) PlatClose(file);
    }
}

TEST(PackageLocator, NeverOpensAModuleNameThatWasCutToFitItsBuffer) {
    BuiltPe pe = BuildSyntheticPe({});
    pe.bytes.insert(pe.bytes.end(), {'P', 'K', 'G', '!'});
    const std::string valid = WriteTempFile("x.exe", pe.bytes);
    const std::string folder = valid.substr(0, valid.rfind('/') + 1);
    const std::string long_path = folder + std::string(300 - folder.size(), 'a');
    // A real installer stands at the name cut to 255 characters: opening it would read the
    // wrong file.
    WriteTempFile(long_path.substr(folder.size(), 255 - folder.size()), pe.bytes);
    PlatSetModuleFileName(long_path.c_str());
    EXPECT_EQ(LocatePackage(), kNoFile);
    PlatSetModuleFileName(valid.c_str());
    const FileHandle file = LocatePackage();
    EXPECT_NE(file, kNoFile);
    PlatClose(file);
}

} // namespace
