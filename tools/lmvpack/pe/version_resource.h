// The version information of a program (an RT_VERSION resource holding VS_VERSIONINFO):
// what Windows shows as the file's description, product, company, copyright and version in
// its properties, and what its elevation prompt names the program by.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A value of its own in the stub's version information: the lmvpack release the stub belongs
// to (resources/release_version.rc writes it). Branding keeps it when the author's [version]
// table replaces the rest, so that a listing names the stub's release of every installer.
constexpr std::string_view kStubReleaseKey = "LmvpackStub";

struct VersionInfo {
    std::array<uint16_t, 4> number{}; // major, minor, build, revision
    // Keys and values in UTF-8, in the order they are stored ("ProductName", "Aurora").
    std::vector<std::pair<std::string, std::string>> strings;

    // The value of `key`, or an empty text.
    std::string Value(std::string_view key) const;
};

// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0 to 65535; missing parts are 0.
std::optional<std::array<uint16_t, 4>> ParseVersionNumber(std::string_view text);

// The resource data: a fixed part with the number, one US English Unicode string table and
// its translation entry. Throws BuildError when a text is not valid UTF-8 or too long.
std::vector<uint8_t> BuildVersionResource(const VersionInfo& info);

// The number and the first string table of a VS_VERSIONINFO; none when it cannot be read.
std::optional<VersionInfo> ReadVersionResource(std::span<const uint8_t> data);
