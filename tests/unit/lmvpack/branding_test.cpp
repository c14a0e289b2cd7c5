// The author's icon and version information: icon files are checked before they go in, the
// rebuilt resource section keeps the package resource first and its data last, and what went
// in is read back from the built installer the way Windows finds it.
#include "lmvpack_runner.h"

#include "tools/lmvpack/builder/stub_branding.h"
#include "tools/lmvpack/installer/stub_layout.h"
#include "tools/lmvpack/pe/icon_file.h"
#include "tools/lmvpack/pe/little_endian.h"
#include "tools/lmvpack/pe/pe_resources.h"
#include "tools/lmvpack/pe/version_resource.h"
#include "tools/lmvpack/support/tool_error.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>

namespace {

using namespace lmvpack_test;

// A whole icon bitmap: header, colour rows and mask rows, filled with `shade`.
std::vector<uint8_t> BitmapImage(uint32_t size, uint16_t bits, uint8_t shade) {
    const uint32_t palette = bits <= 8 ? 4u << bits : 0;
    const uint32_t color_rows = (size * bits + 31) / 32 * 4 * size;
    const uint32_t mask_rows = (size + 31) / 32 * 4 * size;
    std::vector<uint8_t> image(40 + palette + color_rows + mask_rows, shade);
    std::fill(image.begin(), image.begin() + 40, 0);
    StoreU32(image, 0, 40);
    StoreU32(image, 4, size);
    StoreU32(image, 8, 2 * size);
    StoreU16(image, 12, 1);
    StoreU16(image, 14, bits);
    return image;
}

// A PNG image as far as an icon reader looks at it: the signature and the header chunk.
std::vector<uint8_t> PngImage(uint32_t size, uint8_t channel_depth = 8) {
    std::vector<uint8_t> image = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                  0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (int shift = 24; shift >= 0; shift -= 8)
        image.push_back(static_cast<uint8_t>(size >> shift));
    for (int shift = 24; shift >= 0; shift -= 8)
        image.push_back(static_cast<uint8_t>(size >> shift));
    image.insert(image.end(), {channel_depth, 6, 0, 0, 0, 0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0, 0});
    return image;
}

struct IconEntry {
    uint32_t width, height;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> IcoFile(const std::vector<IconEntry>& entries, uint16_t type = 1) {
    std::vector<uint8_t> file(6 + 16 * entries.size(), 0);
    StoreU16(file, 2, type);
    StoreU16(file, 4, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t entry = 6 + 16 * i;
        file[entry] = static_cast<uint8_t>(entries[i].width);
        file[entry + 1] = static_cast<uint8_t>(entries[i].height);
        StoreU32(file, entry + 8, static_cast<uint32_t>(entries[i].data.size()));
        StoreU32(file, entry + 12, static_cast<uint32_t>(file.size()));
        file.insert(file.end(), entries[i].data.begin(), entries[i].data.end());
    }
    return file;
}

std::vector<uint8_t> ThreeImageIcon() {
    return IcoFile({{16, 16, BitmapImage(16, 32, 0x11)},
                    {32, 32, BitmapImage(32, 8, 0x22)},
                    {0, 0, PngImage(256)}});
}

std::string IconRefusal(const std::vector<uint8_t>& file) {
    try {
        ParseIconFile(file);
    } catch (const BuildError& error) {
        return error.what();
    }
    return "";
}

TEST(LmvpackIconFile, ReadsBitmapAndPngImagesWithTheirSizesAndDepths) {
    const std::vector<IconImage> images = ParseIconFile(ThreeImageIcon());
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(DescribeIconImages(images), "16x16 32-bit, 32x32 8-bit, 256x256 32-bit");
    EXPECT_FALSE(images[0].png);
    EXPECT_TRUE(images[2].png);
    EXPECT_EQ(images[1].data, BitmapImage(32, 8, 0x22));
}

TEST(LmvpackIconFile, RefusesFilesWindowsCouldNotShow) {
    EXPECT_NE(IconRefusal({}).find("not an icon file"), std::string::npos);
    EXPECT_NE(IconRefusal(IcoFile({{16, 16, BitmapImage(16, 32, 1)}}, 2)).find("cursor"),
              std::string::npos);
    EXPECT_NE(IconRefusal(IcoFile({})).find("no image"), std::string::npos);

    std::vector<uint8_t> outside = IcoFile({{16, 16, BitmapImage(16, 32, 1)}});
    StoreU32(outside, 6 + 12, static_cast<uint32_t>(outside.size()) - 10);
    EXPECT_NE(IconRefusal(outside).find("lies outside the file"), std::string::npos);

    EXPECT_NE(IconRefusal(IcoFile({{32, 32, BitmapImage(16, 32, 1)}})).find("listed as 32x32"),
              std::string::npos);
    EXPECT_NE(IconRefusal(IcoFile({{48, 48, PngImage(256)}})).find("PNG image is 256x256"),
              std::string::npos);

    std::vector<uint8_t> short_bitmap = BitmapImage(16, 32, 1);
    short_bitmap.resize(short_bitmap.size() - 1); // the last mask byte is missing
    EXPECT_NE(IconRefusal(IcoFile({{16, 16, short_bitmap}})).find("needs"), std::string::npos);

    std::vector<uint8_t> odd_depth = BitmapImage(16, 32, 1);
    StoreU16(odd_depth, 14, 7);
    EXPECT_NE(IconRefusal(IcoFile({{16, 16, odd_depth}})).find("7 bits per pixel"),
              std::string::npos);
    EXPECT_NE(IconRefusal(IcoFile({{0, 0, PngImage(256, 16)}})).find("16 bits per channel"),
              std::string::npos);
}

// An installer branded before deep PNG images were refused lists its group's "64-bit"; the
// listing says what the image is.
TEST(LmvpackIconFile, ListsADeepPngImageAsWhatItIs) {
    IconImage deep;
    deep.width = deep.height = 256;
    deep.bit_count = 64;
    deep.png = true;
    deep.data = PngImage(256, 16);
    IconImage plain = ParseIconFile(ThreeImageIcon())[0];
    const std::vector<Resource> resources =
        IconResources({plain, deep}, ResourceId::Number(1), 1033, 1);
    EXPECT_EQ(DescribeIconImages(ListIconGroup(resources)),
              "16x16 32-bit, 256x256 PNG of 16 bits per channel (Windows does not show it)");
}

TEST(LmvpackVersionResource, ParsesVersionNumbersOfOneToFourParts) {
    EXPECT_EQ(ParseVersionNumber("1.2.3.4"), (std::array<uint16_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(ParseVersionNumber("2.10"), (std::array<uint16_t, 4>{2, 10, 0, 0}));
    EXPECT_EQ(ParseVersionNumber("65535.0.0.7"), (std::array<uint16_t, 4>{65535, 0, 0, 7}));
    for (const char* bad : {"", "1.2.3.4.5", "65536", "1..2", "1.2.", ".1", "a.b", "1.-2", "1 .2"})
        EXPECT_FALSE(ParseVersionNumber(bad)) << bad;
}

VersionInfo SampleVersion() {
    ProductVersion version;
    version.product = "Aurora";
    version.version = "1.2.3.4";
    version.number = {1, 2, 3, 4};
    version.company = "Tarrowby";
    version.copyright = "\xC2\xA9 2025 Tarrowby \xE2\x80\x94 \xF0\x9F\x8C\x8C"; // ©, —, an emoji
    return VersionInfoFor(version);
}

TEST(LmvpackVersionResource, ReadsBackWhatItWrites) {
    const VersionInfo info = SampleVersion();
    const std::optional<VersionInfo> back = ReadVersionResource(BuildVersionResource(info));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->number, info.number);
    EXPECT_EQ(back->strings, info.strings);
    EXPECT_EQ(back->Value("FileDescription"), "Aurora Setup");
    EXPECT_FALSE(ReadVersionResource(std::vector<uint8_t>(10, 0)));
}

// The resource compiler of the Windows toolchain lays out the same VERSIONINFO: the bytes
// must be the same as lmvpack's.
TEST(LmvpackVersionResource, MatchesTheResourceCompilersLayout) {
    if (std::system("command -v i686-w64-mingw32-windres >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "i686-w64-mingw32-windres is not installed";
    ScratchFolder folder;
    VersionInfo info = SampleVersion();
    // windres reads an .rc file in its own code page: keep the texts to ASCII.
    for (auto& [key, value] : info.strings)
        if (key == "LegalCopyright") value = "(c) 2025 Tarrowby";
    std::string rc = "1 VERSIONINFO\nFILEVERSION 1,2,3,4\nPRODUCTVERSION 1,2,3,4\n"
                     "FILEFLAGSMASK 0x3F\nFILEFLAGS 0\nFILEOS 0x40004\nFILETYPE 1\nFILESUBTYPE 0\n"
                     "BEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n  BLOCK \"040904B0\"\n  BEGIN\n";
    for (const auto& [key, value] : info.strings)
        rc += "   VALUE \"" + key + "\", \"" + value + "\"\n";
    rc += "  END\n END\n BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", 0x409, 1200\n"
          " END\nEND\n";
    WriteText(folder / "version.rc", rc);
    ASSERT_EQ(
        std::system(("i686-w64-mingw32-windres -O res -i '" + (folder / "version.rc").string() +
                     "' -o '" + (folder / "version.res").string() + "'")
                        .c_str()),
        0);
    // A .res file: records of data size, header size, then the header and the data. The
    // first record is an empty one that marks the format.
    const std::vector<uint8_t> res = ReadBytes(folder / "version.res");
    size_t at = 0;
    std::vector<uint8_t> compiled;
    while (at + 8 <= res.size()) {
        const uint32_t data_size = LoadU32(res, at), header_size = LoadU32(res, at + 4);
        if (data_size > 0)
            compiled.assign(res.begin() + at + header_size,
                            res.begin() + at + header_size + data_size);
        at = (at + header_size + data_size + 3) / 4 * 4;
    }
    EXPECT_EQ(BuildVersionResource(info), compiled);
}

Manifest BrandingManifest(const fs::path& icon) {
    Manifest manifest;
    manifest.icon = icon;
    ProductVersion version;
    version.product = "Aurora";
    version.version = "1.2.3.4";
    version.number = {1, 2, 3, 4};
    version.company = "Tarrowby";
    manifest.version = version;
    return manifest;
}

bool IsType(const Resource& resource, uint32_t type) {
    return resource.type == ResourceId::Number(type);
}

TEST(LmvpackBranding, KeepsThePackageResourceFirstAndLastAndEveryOtherResourceWhole) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteBytes(folder / "my.ico", ThreeImageIcon());
    const std::vector<uint8_t> original = ReadBytes(stub);
    const std::vector<uint8_t> branded = BrandStub(original, BrandingManifest(folder / "my.ico"));

    // The installer's locator and the tool agree on the package's place, which is the end of
    // the resource data: nothing follows the placeholder but the section's padding.
    const StubLayout layout = InspectStubBytes(branded, "branded stub");
    EXPECT_EQ(layout.resource_end.value, branded.size());
    const std::vector<Resource> before = ReadResources(original);
    const std::vector<Resource> after = ReadResources(branded);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().type, ResourceId::Name(u"LASTRES"));
    EXPECT_EQ(after.front().name, ResourceId::Number(1000));
    EXPECT_EQ(after.front().language, 1033u);
    const uint32_t lfanew = LoadU32(branded, 60);
    uint32_t rsrc_header = 0;
    for (uint32_t i = 0; i < branded[lfanew + 6]; ++i)
        if (std::memcmp(branded.data() + lfanew + 248 + 40 * i, ".rsrc", 6) == 0)
            rsrc_header = lfanew + 248 + 40 * i;
    ASSERT_NE(rsrc_header, 0u);
    EXPECT_EQ(layout.package_offset.value + 4,
              LoadU32(branded, rsrc_header + 20) + LoadU32(branded, rsrc_header + 8))
        << "the package resource's data are not the last bytes of the section";
    // The resource directory entry and the image size follow the section.
    EXPECT_EQ(LoadU32(branded, lfanew + 24 + 96 + 16 + 4), LoadU32(branded, rsrc_header + 8));
    EXPECT_GE(LoadU32(branded, lfanew + 24 + 56),
              LoadU32(branded, rsrc_header + 12) + LoadU32(branded, rsrc_header + 8));

    // Dialogs and everything else but the icon come through unchanged.
    for (const Resource& old : before) {
        if (IsType(old, kResourceTypeIcon) || IsType(old, kResourceTypeGroupIcon) ||
            IsType(old, kResourceTypeVersion))
            continue;
        const auto same = std::find_if(after.begin(), after.end(), [&](const Resource& r) {
            return r.type == old.type && r.name == old.name && r.language == old.language;
        });
        ASSERT_NE(same, after.end()) << "resource of type " << old.type.number << " lost";
        EXPECT_EQ(same->data, old.data);
    }
    // The icon is the author's: exactly its three images, listed by the group in order.
    std::vector<std::vector<uint8_t>> images;
    for (const Resource& r : after)
        if (IsType(r, kResourceTypeIcon)) images.push_back(r.data);
    const std::vector<IconImage> expected = ParseIconFile(ThreeImageIcon());
    ASSERT_EQ(images.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(images[i], expected[i].data);
    EXPECT_EQ(DescribeIconImages(ListIconGroup(after)),
              "16x16 32-bit, 32x32 8-bit, 256x256 32-bit");
    const auto version = std::find_if(after.begin(), after.end(), [](const Resource& r) {
        return IsType(r, kResourceTypeVersion);
    });
    ASSERT_NE(version, after.end());
    EXPECT_EQ(ReadVersionResource(version->data)->Value("CompanyName"), "Tarrowby");
    // The author's version information replaced the stub's, all but the stub's release.
    EXPECT_EQ(ReadVersionResource(version->data)->Value(kStubReleaseKey), LMV_VERSION_FOR_TESTS);
    EXPECT_EQ(std::count_if(after.begin(), after.end(),
                            [](const Resource& r) { return IsType(r, kResourceTypeVersion); }),
              1);
}

TEST(LmvpackBranding, RefusesAResourceSectionThatIsNotTheLastSection) {
    LMV_REQUIRE_STUB(stub);
    std::vector<uint8_t> bytes = ReadBytes(stub);
    const std::vector<Resource> resources = ReadResources(bytes);
    const uint32_t lfanew = LoadU32(bytes, 60);
    // Give the first section a virtual address past the resource section's.
    StoreU32(bytes, lfanew + 248 + 12, 0x7FFF0000);
    const std::vector<Resource> rest(resources.begin() + 1, resources.end());
    EXPECT_THROW(ReplaceResources(bytes, rest, resources.front()), BuildError);
}

// The whole way: manifest keys, build, list (text and JSON) and the installer still whole.
TEST(LmvpackBranding, ListShowsTheIconAndVersionOfABuiltInstaller) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteBytes(folder / "my.ico", ThreeImageIcon());
    for (const char* name : {"s.scr", "s.dat", "u.exe"})
        WriteText(folder / name, ProgramText(std::string("content of ") + name));
    WriteText(folder / "m.toml", "name = \"Aurora\"\nicon = \"my.ico\"\nscreensaver = \"s.scr\"\n"
                                 "data = \"s.dat\"\nuninstaller = \"u.exe\"\n"
                                 "[version]\nproduct = \"Aurora Saver\"\nversion = \"2.0.1\"\n"
                                 "company = \"Tarrowby\"\ncopyright = \"(c) 2025\"\n");
    const RunResult build = RunLmvpack(
        folder.path(), {"build", "m.toml", "-o", "Setup.exe", "--stub", stub.string(), "-q"});
    ASSERT_EQ(build.status, 0) << build.err;
    const RunResult list = RunLmvpack(folder.path(), {"list", "Setup.exe"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("icon:               16x16 32-bit, 32x32 8-bit, 256x256 32-bit"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("version:            2.0.1.0, Aurora Saver, Tarrowby, (c) 2025"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("signature:          none"), std::string::npos) << list.out;
    // The author's version information replaced the stub's, which still names its release.
    const std::string stub_line =
        std::string("stub:               lmvpack ") + LMV_VERSION_FOR_TESTS + "\n";
    EXPECT_NE(list.out.find(stub_line), std::string::npos) << list.out;

    const nlohmann::json json =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "Setup.exe", "--json"}).out);
    EXPECT_EQ(json["icon"].size(), 3u);
    EXPECT_EQ(json["version"]["strings"]["ProductVersion"], "2.0.1");
    EXPECT_EQ(json["version"]["strings"]["FileDescription"], "Aurora Saver Setup");
    EXPECT_EQ(json["stub_release"], LMV_VERSION_FOR_TESTS);
    EXPECT_TRUE(json["signature"].is_null());
    const RunResult verify = RunLmvpack(folder.path(), {"verify", "Setup.exe"});
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;

    // The same manifest without branding keeps the stub's own icon and version information:
    // the release of lmvpack that built it.
    WriteText(folder / "plain.toml", "name = \"Aurora\"\nscreensaver = \"s.scr\"\n"
                                     "data = \"s.dat\"\nuninstaller = \"u.exe\"\n");
    ASSERT_EQ(RunLmvpack(folder.path(),
                         {"build", "plain.toml", "-o", "Plain.exe", "--stub", stub.string(), "-q"})
                  .status,
              0);
    const std::string plain = RunLmvpack(folder.path(), {"list", "Plain.exe"}).out;
    const std::string release_number = std::string(LMV_VERSION_FOR_TESTS) + ".0, lmvpack\n";
    EXPECT_NE(plain.find("version:            " + release_number), std::string::npos) << plain;
    EXPECT_NE(plain.find(stub_line), std::string::npos) << plain;
    EXPECT_EQ(ReadBranding((folder / "Plain.exe").string()).icon.size(),
              ListIconGroup(ReadResources(ReadBytes(stub))).size());
}

// A stub from before releases were recorded: branding adds no release of its own invention.
TEST(LmvpackBranding, ListSaysWhenTheStubRecordsNoRelease) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = ReadBytes(stub);
    std::vector<Resource> resources = ReadResources(bytes);
    const Resource package = resources.front();
    resources.erase(resources.begin());
    std::erase_if(resources, [](const Resource& r) { return IsType(r, kResourceTypeVersion); });
    WriteBytes(folder / "old-stub.exe", ReplaceResources(bytes, resources, package));
    for (const char* name : {"s.scr", "s.dat", "u.exe"})
        WriteText(folder / name, ProgramText(name));
    WriteText(folder / "m.toml", "name = \"Aurora\"\nscreensaver = \"s.scr\"\n"
                                 "data = \"s.dat\"\nuninstaller = \"u.exe\"\n"
                                 "[version]\nproduct = \"Aurora Saver\"\nversion = \"2.0.1\"\n");
    ASSERT_EQ(RunLmvpack(folder.path(),
                         {"build", "m.toml", "-o", "Setup.exe", "--stub", "old-stub.exe", "-q"})
                  .status,
              0);
    const std::string list = RunLmvpack(folder.path(), {"list", "Setup.exe"}).out;
    EXPECT_NE(list.find("stub:               not recorded"), std::string::npos) << list;
    const nlohmann::json json =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "Setup.exe", "--json"}).out);
    EXPECT_TRUE(json["stub_release"].is_null());
    // A [version] table without its optional company and copyright brands the installer too.
    ASSERT_TRUE(json["version"].is_object()) << json.dump(2);
    EXPECT_EQ(json["version"]["strings"]["ProductName"], "Aurora Saver");
    EXPECT_EQ(json["version"]["strings"].count(std::string(kStubReleaseKey)), 0u);
}

TEST(LmvpackBranding, ManifestProblemsAreReportedWithTheirLines) {
    ScratchFolder folder;
    for (const char* name : {"s.scr", "s.dat", "u.exe"})
        WriteText(folder / name, ProgramText("x"));
    WriteText(folder / "not.ico", "plain text, not an icon");
    WriteText(folder / "m.toml", "name = \"Aurora\"\nicon = \"not.ico\"\nscreensaver = \"s.scr\"\n"
                                 "data = \"s.dat\"\nuninstaller = \"u.exe\"\n"
                                 "[version]\nversion = \"1.2.x\"\nvendor = \"Tarrowby\"\n");
    const RunResult build =
        RunLmvpack(folder.path(), {"build", "m.toml", "-o", "Setup.exe", "--stub", "none.exe"});
    EXPECT_EQ(build.status, 2);
    EXPECT_NE(build.err.find("m.toml:2: icon: "), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("is not an icon file"), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("version.product: missing"), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("m.toml:7: version.version: \"1.2.x\" is not a version number"),
              std::string::npos)
        << build.err;
    EXPECT_NE(build.err.find("m.toml:8: version.vendor: unknown key"), std::string::npos)
        << build.err;
    EXPECT_FALSE(fs::exists(folder / "Setup.exe"));
}

} // namespace
