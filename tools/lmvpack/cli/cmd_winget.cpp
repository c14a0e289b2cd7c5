// lmvpack winget: a multi-file winget manifest for a built installer, with everything winget
// and its community repository want to know that the installer itself can tell: its digest,
// its version, the elevation it asks for, its silent switch and exit statuses, and the
// Uninstall entry it will write.
#include "install/display_version.h"
#include "install/install_layout.h"
#include "install/uninstall_values.h"
#include "package/package_reading.h"
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/installer/winget_manifest.h"
#include "tools/lmvpack/pe/pe_resources.h"
#include "tools/lmvpack/pe/version_resource.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/sha256.h"
#include "tools/lmvpack/support/stub_finder.h"
#include "tools/lmvpack/support/tool_error.h"
#include "tools/lmvpack/support/utf8_path.h"

#include <cstdio>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kResourceTypeManifest = 24;
// Resource sections of real programs are far smaller; the bound keeps a damaged header from
// making the command hold a whole large file.
constexpr uint64_t kLargestResourceSection = 64ull << 20;

struct WingetOptions {
    std::string installer;
    std::string identifier;
    std::string url;
    std::string folder = ".";
};

std::vector<uint8_t> ReadPrefix(std::ifstream& in, uint64_t count) {
    std::vector<uint8_t> bytes(count);
    in.clear();
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// The resources of the installer's program part.
std::vector<Resource> ReadInstallerResources(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    const uint64_t end = ResourceSectionEnd(ReadPrefix(in, 4096));
    if (end == 0 || end > kLargestResourceSection)
        throw InstallerError(path + ": not a program whose resources can be read");
    return ReadResources(ReadPrefix(in, end));
}

// The digest of the whole file, read a piece at a time.
std::string Sha256OfFile(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    Sha256 digest;
    std::vector<uint8_t> piece(1 << 20);
    while (in) {
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
        digest.Update(std::span<const uint8_t>(piece.data(), static_cast<size_t>(in.gcount())));
    }
    if (in.bad()) throw InstallerError(path + ": reading failed");
    const std::array<uint8_t, 32> sum = digest.Finish();
    return HexUpper(sum);
}

const Resource* FindResource(const std::vector<Resource>& resources, uint32_t type) {
    for (const Resource& resource : resources)
        if (resource.type == ResourceId::Number(type)) return &resource;
    return nullptr;
}

std::string AgreementOf(const std::string& path) {
    AgreementText agreement;
    std::string text;
    if (ReadAgreementTextOf(path.c_str(), &agreement)) text = agreement.text;
    ReleaseAgreementText(&agreement);
    return Windows1252ToUtf8(text);
}

WingetFacts FactsOf(const WingetOptions& options) {
    const InstallerListing listing = ReadInstaller(options.installer);
    const std::vector<Resource> resources = ReadInstallerResources(options.installer);

    WingetFacts facts;
    facts.identifier = options.identifier;
    facts.installer_url = options.url;
    facts.sha256 = Sha256OfFile(options.installer);
    const Resource* version_resource = FindResource(resources, kResourceTypeVersion);
    char display_version[kDisplayVersionSize] = "";
    if (version_resource == nullptr ||
        !DisplayVersionFromVersionInfo(version_resource->data.data(), version_resource->data.size(),
                                       display_version))
        throw InstallerError(options.installer +
                             ": has no version of its own, and winget tells releases apart by it "
                             "(the installer writes it as the Uninstall entry's DisplayVersion). "
                             "Add a [version] table to the manifest and build again");
    facts.version = display_version;

    // The Uninstall entry exactly as the installer works it out; the paths play no part here.
    const std::string base = TrimTrailingBlanks(listing.name);
    UninstallValues values;
    const std::string uninstaller = std::string("C:\\") + kInstalledUninstallerName;
    BuildUninstallValues(base.c_str(), uninstaller.c_str(), "C:\\screen.scr", display_version,
                         listing.total_size, &values);
    facts.product_code = Windows1252ToUtf8(base);
    facts.display_name = Windows1252ToUtf8(values.display_name);
    facts.arp_publisher = Windows1252ToUtf8(values.publisher);
    facts.publisher = facts.arp_publisher;
    if (const std::optional<VersionInfo> info = ReadVersionResource(version_resource->data)) {
        if (CharacterCount(info->Value("CompanyName")) >= 2)
            facts.publisher = info->Value("CompanyName");
        facts.copyright = info->Value("LegalCopyright");
    }
    if (const Resource* manifest = FindResource(resources, kResourceTypeManifest))
        facts.elevation = ElevationRequirementOf(std::string_view(
            reinterpret_cast<const char*>(manifest->data.data()), manifest->data.size()));
    facts.agreement = AgreementOf(options.installer);
    return facts;
}

int RunWinget(const WingetOptions& options) {
    std::vector<WingetFile> files;
    try {
        files = BuildWingetManifest(FactsOf(options));
    } catch (const InstallerError& error) {
        std::fprintf(stderr, "lmvpack winget: %s\n", error.what());
        return 1;
    } catch (const BuildError& error) {
        std::fprintf(stderr, "lmvpack winget: %s\n", error.what());
        return 2;
    }
    try {
        for (const WingetFile& file : files) {
            const fs::path path = PathFromUtf8(options.folder) / PathFromUtf8(file.name);
            PrepareOutputPath(path);
            WriteFileAtomically(
                path,
                std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(file.text.data()),
                                         file.text.size()),
                false);
            std::printf("%s\n", Utf8FromPath(path).c_str());
        }
    } catch (const BuildError& error) {
        std::fprintf(stderr, "lmvpack winget: %s\n", error.what());
        return 2;
    }
    return 0;
}

} // namespace

void AddWingetCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<WingetOptions>();
    CLI::App* command = app.add_subcommand(
        "winget", "Write a winget manifest (version, installer and locale files) for an installer");
    command->add_option("installer", options->installer, "The built installer")->required();
    command
        ->add_option("--id", options->identifier,
                     "The package identifier, Publisher.Name (for example Tarrowby.Aurora)")
        ->required();
    command->add_option("--url", options->url, "The https address winget downloads it from")
        ->required();
    command->add_option("-o,--output", options->folder,
                        "The folder to write the three files into (created if missing; "
                        "default: the current folder)");
    command->footer(
        "Example:\n  lmvpack winget AuroraSetup.exe --id Tarrowby.Aurora --url "
        "https://example.com/AuroraSetup.exe -o winget/\n"
        "The installer needs a [version] in its manifest. winget installs it with /UNATTENDED; " +
        DocumentPath("deployment.md").string() + " says how to check and submit the files.");
    command->callback([options, &exit_status] { exit_status = RunWinget(*options); });
}
