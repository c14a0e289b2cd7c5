// Reads the built lmvuninst.exe and aurora.scr and checks what their build promises: a GUI
// program, ASLR with the relocations it needs, DEP, imports from KnownDLLs only (the folder
// they run from may hold planted libraries), and the manifest that asks for the right level;
// and that the stub and the uninstaller name the release that built them.
#include "support/pe_file.h"

#include "tools/lmvpack/pe/version_resource.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

void ExpectHardenedGuiProgram(const PeFile& image) {
    EXPECT_EQ(image.Subsystem(), kPeGuiSubsystem);
    EXPECT_EQ(image.DllCharacteristics() & (kPeDynamicBase | kPeNxCompatible),
              kPeDynamicBase | kPeNxCompatible);
    // ASLR needs the relocations that the linker strips by default for programs.
    EXPECT_EQ(image.Characteristics() & kPeRelocationsStripped, 0);
    EXPECT_GT(image.Directory(kPeBaseRelocationDirectory).size, 0u);
    const std::set<std::string> imports = image.ImportedLibraries();
    EXPECT_FALSE(imports.empty());
    for (const std::string& library : imports)
        EXPECT_TRUE(kKnownDlls.count(library)) << library << " is not a KnownDLL";
}

// The application manifest: resource type 24 (RT_MANIFEST), name 1.
std::string Manifest(const PeFile& image) {
    const PeResource* manifest = image.Resource("#24", 1);
    return manifest ? image.ResourceData(*manifest) : "";
}

#define REQUIRE_BUILT(image, name)                                                                 \
    const PeFile image = PeFile::Read(LMV_SOURCE_DIR "/build/win32/" name);                        \
    if (image.Empty()) GTEST_SKIP() << name " not built (win32 preset)"

TEST(ProgramImage, UninstallerIsHardenedAndAsksForAdministratorRights) {
    REQUIRE_BUILT(image, "lmvuninst.exe");
    ExpectHardenedGuiProgram(image);
    EXPECT_EQ(image.ImportedLibraries().count("gdi32.dll"), 0u) << "it draws nothing";
    // It removes from the Windows directory what the installer put there, not from a per-user
    // copy that a Remote Desktop host would give it.
    EXPECT_NE(image.DllCharacteristics() & kPeTerminalServerAware, 0);
    const std::string manifest = Manifest(image);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""),
              std::string::npos)
        << manifest;
}

// Every installer carries the uninstaller whole: it stays within 32 KB, smaller than the
// installer itself (docs/benchmarks.md has its sections).
TEST(ProgramImage, UninstallerStaysWithinItsSizeBudget) {
    REQUIRE_BUILT(image, "lmvuninst.exe");
    EXPECT_LE(image.bytes.size(), 32u * 1024u);
}

// Per-monitor DPI aware, so that the system reports every monitor in its own pixels and the
// full-screen window covers them all on mixed-scale set-ups.
TEST(ProgramImage, SampleScreenSaverIsHardenedRunsAsItsUserAndSeesEveryMonitorsPixels) {
    REQUIRE_BUILT(image, "aurora.scr");
    ExpectHardenedGuiProgram(image);
    const std::string manifest = Manifest(image);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos) << manifest;
}

// What Windows shows in a file's properties, and what `lmvpack list` reads to name the stub's
// release: the version of the project that built them, in the fixed part and the texts.
TEST(ProgramImage, StubAndUninstallerCarryTheReleaseVersion) {
    const std::optional<std::array<uint16_t, 4>> release =
        ParseVersionNumber(LMV_VERSION_FOR_TESTS);
    ASSERT_TRUE(release);
    for (const char* program : {"lmvstub.exe", "lmvuninst.exe"}) {
        SCOPED_TRACE(program);
        const PeFile built = PeFile::Read(std::string(LMV_SOURCE_DIR "/build/win32/") + program);
        if (built.Empty()) GTEST_SKIP() << program << " not built (win32 preset)";
        const PeResource* resource = built.Resource("#16", 1); // RT_VERSION
        ASSERT_NE(resource, nullptr);
        const std::string data = built.ResourceData(*resource);
        const std::optional<VersionInfo> version = ReadVersionResource(
            std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
        ASSERT_TRUE(version);
        EXPECT_EQ(version->number, *release);
        EXPECT_EQ(version->Value("ProductName"), "lmvpack");
        EXPECT_EQ(version->Value("ProductVersion"), LMV_VERSION_FOR_TESTS);
        const bool stub = std::string(program) == "lmvstub.exe";
        // Only the stub records its release for listings (the uninstaller is never branded),
        // and it names no file or description: an installer its author has not branded is
        // named by its own file's name in the elevation prompt.
        EXPECT_EQ(version->Value(kStubReleaseKey), stub ? LMV_VERSION_FOR_TESTS : "");
        EXPECT_EQ(version->Value("FileDescription"), stub ? "" : "Screen saver uninstaller");
        EXPECT_EQ(version->Value("OriginalFilename"), stub ? "" : program);
    }
}

} // namespace
