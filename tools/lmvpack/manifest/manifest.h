// The manifest: a TOML file that names the screen saver, its colours and the member files.
// Loading it checks everything the installer and the package format need before any member
// is read, and reports every problem at once. docs/manifest.md describes every key.
#pragma once

#include "tools/lmvpack/installer/package_header_fields.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
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
    // (builder/builtin_members.h) sets it.
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

// Where a key is written: at the top level, in the table of one of the three fixed members
// (screensaver, data, uninstaller), in a [[media]] table, or in the [version] table.
enum class KeyPlace : uint8_t { TopLevel, FixedMember, Media, Version };

enum class KeyType : uint8_t {
    Text,        // a string of at most `most` bytes (Windows-1252 or UTF-8, as the key says)
    Path,        // a file relative to the manifest's folder, of at most `most` bytes
    Boolean,     // true or false
    Color,       // "#RRGGBB"
    WholeNumber, // from `least` to `most`
    Choice,      // one of a few strings
    Compress,    // "auto", true or false
    Member,      // a path, or a table of FixedMember keys
    MediaList,   // [[media]] tables
    Table,       // [version]
};

// Every key a manifest may hold, in the order the messages list them. The loader takes the
// known keys of each place, which keys are required, and their limits from here;
// docs/manifest.md and `lmvpack init`'s starter name exactly these keys.
struct ManifestKey {
    KeyPlace place;
    std::string_view name;
    KeyType type;
    bool required;
    // The value an absent key stands for, as TOML text; empty when absence means "none" or,
    // for a member's compress, the top-level compress.
    std::string_view fallback;
    // A whole number's bounds; for texts and files, `most` is the longest in bytes that the
    // key's own field takes (0: none of its own). Rules beyond a length, such as the name's
    // 109 bytes for the path of its data file, are the loader's.
    int64_t least;
    int64_t most;
};

inline constexpr ManifestKey kManifestKeys[] = {
    {KeyPlace::TopLevel, "name", KeyType::Text, true, "", 0, 259},
    {KeyPlace::TopLevel, "agreement", KeyType::Path, false, "", 0, 65535},
    {KeyPlace::TopLevel, "agreement_encoding", KeyType::Choice, false, "\"utf-8\"", 0, 0},
    {KeyPlace::TopLevel, "needs_directx", KeyType::Boolean, false, "false", 0, 0},
    {KeyPlace::TopLevel, "top_color", KeyType::Color, false, "\"#0000FF\"", 0, 0},
    {KeyPlace::TopLevel, "bottom_color", KeyType::Color, false, "\"#000000\"", 0, 0},
    {KeyPlace::TopLevel, "first_media_number", KeyType::WholeNumber, false, "1", 0, 65535},
    {KeyPlace::TopLevel, "compress", KeyType::Compress, false, "\"auto\"", 0, 0},
    {KeyPlace::TopLevel, "screensaver", KeyType::Member, true, "", 0, 0},
    {KeyPlace::TopLevel, "data", KeyType::Member, false, "\"builtin\"", 0, 0},
    {KeyPlace::TopLevel, "uninstaller", KeyType::Member, false, "\"builtin\"", 0, 0},
    {KeyPlace::TopLevel, "media", KeyType::MediaList, false, "", 0, 0},
    {KeyPlace::TopLevel, "icon", KeyType::Path, false, "", 0, 4 << 20},
    {KeyPlace::TopLevel, "version", KeyType::Table, false, "", 0, 0},
    {KeyPlace::FixedMember, "file", KeyType::Path, true, "", 0, 0},
    {KeyPlace::FixedMember, "compress", KeyType::Compress, false, "", 0, 0},
    {KeyPlace::Media, "file", KeyType::Path, true, "", 0, 0},
    {KeyPlace::Media, "suffix", KeyType::Text, false, "", 0, 15},
    {KeyPlace::Media, "prefix", KeyType::Choice, false, "\"FILE\"", 0, 0},
    {KeyPlace::Media, "compress", KeyType::Compress, false, "", 0, 0},
    {KeyPlace::Version, "product", KeyType::Text, true, "", 0, 260},
    {KeyPlace::Version, "version", KeyType::Text, true, "", 0, 260},
    {KeyPlace::Version, "company", KeyType::Text, false, "", 0, 260},
    {KeyPlace::Version, "copyright", KeyType::Text, false, "", 0, 260},
};

// The key `name` of `place`, or null when there is none.
constexpr const ManifestKey* FindManifestKey(KeyPlace place, std::string_view name) {
    for (const ManifestKey& key : kManifestKeys)
        if (key.place == place && key.name == name) return &key;
    return nullptr;
}

// `with_members` false reads only what the title screen needs (name and colours) and leaves
// the member files unchecked, for previews made before the files exist.
//
// `overrides` are the command line's -D KEY=VALUE: each sets or replaces one key before
// anything is checked, so that the file's rules apply to it ("version.version" in [version],
// "screensaver.compress" in the screen saver's table, "media.2.suffix" in the second [[media]]
// table). A value is taken as the key's type would have it written (true, 12, or a text
// without quotes); a path in one is relative to the current folder, not the manifest's.
ManifestLoad LoadManifest(const std::filesystem::path& path, bool with_members = true,
                          const std::vector<std::string>& overrides = {});

// "#RRGGBB" to the Windows colour value 0x00BBGGRR.
std::optional<uint32_t> ParseColor(std::string_view text);

// The highest number a media file may carry: beyond it the four-digit numbers of the
// installed names would grow a fifth digit and stop sorting in member order.
constexpr uint32_t kHighestMediaNumber = 9999;
