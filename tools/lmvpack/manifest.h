// The manifest: a TOML file that names the screen saver, its colours and the member files.
// Loading it checks everything the installer and the package format need before any member
// is read, and reports every problem at once. docs/manifest.md describes every key.
#pragma once

#include "tools/lmvpack/package_header_fields.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

enum class CompressChoice { Auto, Always, Never };

struct MemberSource {
    std::string key;            // where it comes from in the manifest, for messages
    std::filesystem::path file; // resolved against the manifest's folder
    CompressChoice compress = CompressChoice::Auto;
    std::string name_suffix; // Windows-1252; media members only
    uint8_t prefix_kind = ' ';
    // A member that comes with lmvpack (the uninstaller, a placeholder data file), chosen by
    // naming no file or "builtin": `file` stays empty until ResolveBuiltinMembers
    // (builtin_members.h) sets it.
    bool builtin = false;
};

// The [version] table: the installer's version information (UTF-8 texts).
struct ProductVersion {
    std::string product;
    std::string version; // as written, "1.2.3.4"
    std::array<uint16_t, 4> number{};
    std::string company;   // may be empty
    std::string copyright; // may be empty
};

// The header's fields (name, agreement, colours...) as the package will carry them, and what
// the build needs besides.
struct Manifest : PackageHeaderFields {
    std::filesystem::path path;
    std::vector<MemberSource> members; // screen saver, data file, uninstaller, media...
    // The files it names besides the members (the agreement): a build reads them, so it must
    // never write over them.
    std::vector<std::filesystem::path> other_inputs;
    std::filesystem::path icon; // the installer's program icon; empty keeps the stub's
    std::optional<ProductVersion> version;
};

// One finding about the manifest, as `lmvpack build --json` reports it.
struct ManifestDiagnostic {
    bool is_error = true; // false: a warning, which does not stop the build
    std::string file;     // the manifest; empty when the finding is not about its text
    int64_t line = 0;     // 0 when it belongs to no one line (a missing key)
    int64_t column = 0;   // given for syntax errors only
    std::string key;      // "top_color", "media #2 suffix"; empty for syntax errors
    std::string message;  // what is wrong; what is right

    // "file:line: key: message", the form of the problem and warning lines.
    std::string Text() const;
};

struct ManifestLoad {
    std::optional<Manifest> manifest;  // set when there are no problems
    std::vector<std::string> problems; // each "file:line: key: what is wrong; what is right"
    std::vector<std::string> warnings; // things that work but may surprise
    // Problems and warnings together, in the order of their lines (those of no one line
    // first); `problems` and `warnings` hold their texts in the same order.
    std::vector<ManifestDiagnostic> diagnostics;
};

// `with_members` false reads only what the title screen needs (name and colours) and leaves
// the member files unchecked, for previews made before the files exist.
ManifestLoad LoadManifest(const std::filesystem::path& path, bool with_members = true);

// "#RRGGBB" to the Windows colour value 0x00BBGGRR.
std::optional<uint32_t> ParseColor(std::string_view text);

// The highest number a media file may carry: beyond it the four-digit numbers of the
// installed names would grow a fifth digit and stop sorting in member order.
constexpr uint32_t kHighestMediaNumber = 9999;
