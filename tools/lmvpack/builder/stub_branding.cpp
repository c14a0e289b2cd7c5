#include "tools/lmvpack/builder/stub_branding.h"

#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/tool_error.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Resource sections of real programs are far smaller; the bound keeps a damaged header from
// making a listing read a whole large file.
constexpr uint64_t kLargestResourceSection = 64ull << 20;

bool IsType(const Resource& resource, uint32_t type) {
    return resource.type == ResourceId::Number(type);
}

// Replaces the first icon group and the images it lists; other groups keep theirs, and the
// new images take ids that no remaining image has.
void ReplaceIcon(std::vector<Resource>& resources, const fs::path& icon_file) {
    std::vector<IconImage> images;
    try {
        images = ParseIconFile(ReadWholeFile(icon_file));
    } catch (const BuildError& failure) {
        throw BuildError(icon_file.string() + ": " + failure.what());
    }
    ResourceId group_name = ResourceId::Number(1);
    uint32_t language = kLanguageEnglishUs;
    const auto group = std::find_if(resources.begin(), resources.end(), [](const Resource& r) {
        return IsType(r, kResourceTypeGroupIcon);
    });
    if (group != resources.end()) {
        group_name = group->name;
        language = group->language;
        const std::vector<uint32_t> old_ids = IconGroupImageIds(*group);
        resources.erase(group);
        std::erase_if(resources, [&](const Resource& r) {
            return IsType(r, kResourceTypeIcon) && !r.name.named() &&
                   std::find(old_ids.begin(), old_ids.end(), r.name.number) != old_ids.end();
        });
    }
    uint32_t first_id = 1;
    for (const Resource& r : resources)
        if (IsType(r, kResourceTypeIcon) && !r.name.named())
            first_id = std::max(first_id, r.name.number + 1);
    for (Resource& r : IconResources(images, group_name, language, first_id))
        resources.push_back(std::move(r));
}

// The author's version information, with the stub's release carried over from the version
// information it replaces.
VersionInfo BrandedVersionInfo(const ProductVersion& version,
                               const std::vector<Resource>& resources) {
    VersionInfo info = VersionInfoFor(version);
    for (const Resource& resource : resources) {
        if (!IsType(resource, kResourceTypeVersion)) continue;
        if (const std::optional<VersionInfo> stub = ReadVersionResource(resource.data)) {
            if (const std::string release = stub->Value(kStubReleaseKey); !release.empty())
                info.strings.emplace_back(kStubReleaseKey, release);
        }
        break;
    }
    return info;
}

std::vector<uint8_t> ReadPrefix(const std::string& path, uint64_t count) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

} // namespace

VersionInfo VersionInfoFor(const ProductVersion& version) {
    VersionInfo info;
    info.number = version.number;
    if (!version.company.empty()) info.strings.emplace_back("CompanyName", version.company);
    // Windows names a program by its description: in the elevation prompt, in the task
    // manager, and in the file's properties.
    info.strings.emplace_back("FileDescription", version.product + " Setup");
    info.strings.emplace_back("FileVersion", version.version);
    if (!version.copyright.empty()) info.strings.emplace_back("LegalCopyright", version.copyright);
    info.strings.emplace_back("ProductName", version.product);
    info.strings.emplace_back("ProductVersion", version.version);
    return info;
}

std::vector<uint8_t> BrandStub(std::span<const uint8_t> stub, const Manifest& manifest) {
    if (manifest.icon.empty() && !manifest.version) return {stub.begin(), stub.end()};
    std::vector<Resource> resources;
    try {
        resources = ReadResources(stub);
    } catch (const InstallerError& failure) {
        throw BuildError(std::string("the stub's resources cannot be read: ") + failure.what());
    }
    if (resources.empty() || !resources.front().type.named())
        throw BuildError("the stub's first resource is not the package resource");
    const Resource package = resources.front();
    resources.erase(resources.begin());

    if (!manifest.icon.empty()) ReplaceIcon(resources, manifest.icon);
    if (manifest.version) {
        const VersionInfo info = BrandedVersionInfo(*manifest.version, resources);
        std::erase_if(resources, [](const Resource& r) { return IsType(r, kResourceTypeVersion); });
        resources.push_back(Resource{ResourceId::Number(kResourceTypeVersion),
                                     ResourceId::Number(1), kLanguageEnglishUs, 0,
                                     BuildVersionResource(info)});
    }
    return ReplaceResources(stub, resources, package);
}

StubLayout InspectStubBytes(std::span<const uint8_t> stub, const std::string& what) {
    static std::atomic<unsigned> counter{0};
    const fs::path path = fs::temp_directory_path() / ("lmvpack-stub-" + std::to_string(getpid()) +
                                                       "-" + std::to_string(counter++) + ".exe");
    struct Remove {
        fs::path path;
        ~Remove() {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    } remove{path};
    WriteFileAtomically(path, stub, false);
    try {
        return InspectStub(path.string(), stub);
    } catch (const BuildError& failure) {
        std::string reason = failure.what();
        if (reason.starts_with(path.string())) reason.replace(0, path.string().size(), what);
        throw BuildError(reason);
    }
}

InstallerBranding ReadBranding(const std::string& path) {
    InstallerBranding branding;
    constexpr uint64_t kHeaderBytes = 4096;
    const uint64_t end = ResourceSectionEnd(ReadPrefix(path, kHeaderBytes));
    if (end == 0 || end > kLargestResourceSection) return branding;
    try {
        const std::vector<Resource> resources = ReadResources(ReadPrefix(path, end));
        branding.icon = ListIconGroup(resources);
        for (const Resource& resource : resources)
            if (IsType(resource, kResourceTypeVersion)) {
                branding.version = ReadVersionResource(resource.data);
                break;
            }
    } catch (const InstallerError&) {
        // A listing still shows the package; the branding is then reported as absent.
    }
    return branding;
}
