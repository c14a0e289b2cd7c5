// The author's branding of an installer: its program icon and its version information,
// written into the stub's resources before the package is placed, and read back from a
// built installer for listings.
#pragma once

#include "tools/lmvpack/installer/stub_layout.h"
#include "tools/lmvpack/manifest/manifest.h"
#include "tools/lmvpack/pe/icon_file.h"
#include "tools/lmvpack/pe/version_resource.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The stub with the manifest's icon (replacing the stub's own) and version information; a
// copy of the stub when the manifest asks for neither. Throws BuildError.
std::vector<uint8_t> BrandStub(std::span<const uint8_t> stub, const Manifest& manifest);

// The layout of a stub held in memory, checked as InspectStub checks a stub file (the
// installer's own locator reads it from a temporary file). Throws BuildError.
StubLayout InspectStubBytes(std::span<const uint8_t> stub, const std::string& what);

// The version information's texts for a manifest's [version] table.
VersionInfo VersionInfoFor(const ProductVersion& version);

struct InstallerBranding {
    std::vector<IconImage> icon; // the images its icon group lists; empty for none
    std::optional<VersionInfo> version;
};

// What an installer (or stub) file carries; empty when its resources cannot be read.
InstallerBranding ReadBranding(const std::string& path);
