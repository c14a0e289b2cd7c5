// Reads the built lmvuninst.exe and aurora.scr and checks what their build promises: a GUI
// program, ASLR with the relocations it needs, DEP, imports from KnownDLLs only (the folder
// they run from may hold planted libraries), and the manifest that asks for the right level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint16_t kGuiSubsystem = 2;
constexpr uint16_t kDynamicBase = 0x0040;
constexpr uint16_t kNxCompatible = 0x0100;
constexpr uint16_t kRelocationsStripped = 0x0001;

class Image {
  public:
    explicit Image(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists() const { return bytes_.size() > 64; }

    uint16_t U16(size_t at) const {
        return static_cast<uint16_t>(bytes_.at(at) | bytes_.at(at + 1) << 8);
    }
    uint32_t U32(size_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }

    size_t Header() const { return U32(60); }
    size_t Optional() const { return Header() + 24; }
    uint16_t Characteristics() const { return U16(Header() + 22); }
    uint16_t Subsystem() const { return U16(Optional() + 68); }
    uint16_t DllCharacteristics() const { return U16(Optional() + 70); }
    // Data directory entries: 1 imports, 2 resources, 5 base relocations.
    uint32_t DirectoryRva(int index) const { return U32(Optional() + 96 + 8 * index); }
    uint32_t DirectorySize(int index) const { return U32(Optional() + 100 + 8 * index); }

    size_t Offset(uint32_t rva) const {
        const uint16_t sections = U16(Header() + 6);
        const size_t table = Optional() + U16(Header() + 20);
        for (uint16_t i = 0; i < sections; ++i) {
            const size_t at = table + 40 * i;
            const uint32_t start = U32(at + 12), size = std::max(U32(at + 8), U32(at + 16));
            if (rva >= start && rva < start + size) return rva - start + U32(at + 20);
        }
        return bytes_.size();
    }

    std::string String(size_t at) const {
        std::string text;
        while (at < bytes_.size() && bytes_[at] != 0)
            text += static_cast<char>(std::tolower(bytes_[at++]));
        return text;
    }

    std::set<std::string> ImportedLibraries() const {
        std::set<std::string> names;
        for (size_t at = Offset(DirectoryRva(1)); U32(at + 12) != 0; at += 20)
            names.insert(String(Offset(U32(at + 12))));
        return names;
    }

    // The data of resource type 24 (RT_MANIFEST), name 1, first language.
    std::string Manifest() const {
        const size_t root = Offset(DirectoryRva(2));
        const size_t type = Child(root, root, 24);
        const size_t name = type ? Child(root, type, 1) : 0;
        if (!name) return "";
        const size_t entry = root + (U32(name + 16 + 4) & 0x7FFFFFFFu);
        const size_t data = Offset(U32(entry));
        return std::string(bytes_.begin() + static_cast<long>(data),
                           bytes_.begin() + static_cast<long>(data + U32(entry + 4)));
    }

  private:
    // The subdirectory of `directory` with numeric id `id`, as a file offset; 0 when missing.
    size_t Child(size_t root, size_t directory, uint32_t id) const {
        const uint16_t named = U16(directory + 12), numbered = U16(directory + 14);
        for (uint32_t k = 0; k < uint32_t{named} + numbered; ++k) {
            const size_t at = directory + 16 + 8 * k;
            if (U32(at) == id && (U32(at + 4) & 0x80000000u))
                return root + (U32(at + 4) & 0x7FFFFFFFu);
        }
        return 0;
    }

    std::vector<uint8_t> bytes_;
};

// Libraries Windows always takes from the system directory, whatever lies beside a program.
const std::set<std::string> kKnownDlls = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                          "advapi32.dll", "shell32.dll", "msvcrt.dll"};

void ExpectHardenedGuiProgram(const Image& image) {
    EXPECT_EQ(image.Subsystem(), kGuiSubsystem);
    EXPECT_EQ(image.DllCharacteristics() & (kDynamicBase | kNxCompatible),
              kDynamicBase | kNxCompatible);
    // ASLR needs the relocations that the linker strips by default for programs.
    EXPECT_EQ(image.Characteristics() & kRelocationsStripped, 0);
    EXPECT_GT(image.DirectorySize(5), 0u);
    const std::set<std::string> imports = image.ImportedLibraries();
    EXPECT_FALSE(imports.empty());
    for (const std::string& library : imports)
        EXPECT_TRUE(kKnownDlls.count(library)) << library << " is not a KnownDLL";
}

#define REQUIRE_BUILT(image, name)                                                                 \
    const Image image(LMV_SOURCE_DIR "/build/win32/" name);                                        \
    if (!image.Exists()) GTEST_SKIP() << name " not built (win32 preset)"

TEST(ProgramImage, UninstallerIsHardenedAndAsksForAdministratorRights) {
    REQUIRE_BUILT(image, "lmvuninst.exe");
    ExpectHardenedGuiProgram(image);
    EXPECT_EQ(image.ImportedLibraries().count("gdi32.dll"), 0u) << "it draws nothing";
    const std::string manifest = image.Manifest();
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""),
              std::string::npos)
        << manifest;
}

TEST(ProgramImage, SampleScreenSaverIsHardenedAndRunsAsItsUser) {
    REQUIRE_BUILT(image, "aurora.scr");
    ExpectHardenedGuiProgram(image);
    EXPECT_NE(image.Manifest().find("<requestedExecutionLevel level=\"asInvoker\""),
              std::string::npos);
}

} // namespace
