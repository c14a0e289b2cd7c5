#include "tools/lmvpack/manifest/manifest.h"

#include "package/package_format.h"
#include "tools/lmvpack/installer/byte_units.h"
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/manifest/toml_error_text.h"
#include "tools/lmvpack/pe/icon_file.h"
#include "tools/lmvpack/pe/program_file.h"
#include "tools/lmvpack/pe/version_resource.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/closest_name.h"
#include "tools/lmvpack/support/tool_error.h"
#include "tools/lmvpack/support/utf8_path.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <limits>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

// A key the loader names itself: one missing from the table is a compile error.
consteval const ManifestKey& Key(KeyPlace place, std::string_view name) {
    return *FindManifestKey(place, name);
}

// The package format's fields bound these keys; the messages quote the table's figures.
static_assert(Key(KeyPlace::TopLevel, "name").most == kScreenSaverNameSize - 1);
static_assert(Key(KeyPlace::TopLevel, "agreement").most == kMaxAgreementLength);
static_assert(Key(KeyPlace::Media, "suffix").most == kNameSuffixSize);
static_assert(Key(KeyPlace::TopLevel, "first_media_number").most ==
              std::numeric_limits<uint16_t>::max());

std::vector<std::string_view> KeysOf(KeyPlace place) {
    std::vector<std::string_view> names;
    for (const ManifestKey& key : kManifestKeys)
        if (key.place == place) names.push_back(key.name);
    return names;
}

std::vector<std::string_view> KeysOfType(KeyType type) {
    std::vector<std::string_view> names;
    for (const ManifestKey& key : kManifestKeys)
        if (key.place == KeyPlace::TopLevel && key.type == type) names.push_back(key.name);
    return names;
}

bool IsTopLevelKey(std::string_view key) {
    return FindManifestKey(KeyPlace::TopLevel, key) != nullptr;
}

class Report {
  public:
    explicit Report(const fs::path& path) : file_(path.string()) {}

    void Problem(const toml::node* where, const std::string& key, const std::string& text) {
        Add(true, where, key, text);
    }
    void Warning(const toml::node* where, const std::string& key, const std::string& text) {
        Add(false, where, key, text);
    }
    bool HasProblems() const {
        return std::any_of(found_.begin(), found_.end(),
                           [](const ManifestDiagnostic& found) { return found.is_error; });
    }

    // A value that -D put in: findings about it name the option, not a line of the file.
    void NoteOverride(const toml::node* node) { overrides_.insert(node); }
    void OptionProblem(const std::string& option, const std::string& text) {
        found_.push_back({true, "", 0, 0, option, text});
    }

    // A top-level key that TOML put into a table because it was written below the table's
    // header; its absence from the top level is reported as that, not as a missing key.
    void NoteMisplaced(const std::string& key) { misplaced_.insert(key); }
    bool WasMisplaced(const std::string& key) const { return misplaced_.count(key) != 0; }

    // Everything found, ordered by line: an author fixes a file from top to bottom.
    void Deliver(ManifestLoad& load) {
        std::stable_sort(found_.begin(), found_.end(),
                         [](const ManifestDiagnostic& a, const ManifestDiagnostic& b) {
                             return a.line < b.line;
                         });
        for (const ManifestDiagnostic& found : found_)
            (found.is_error ? load.problems : load.warnings).push_back(found.Text());
        load.diagnostics = std::move(found_);
    }

  private:
    void Add(bool is_error, const toml::node* where, const std::string& key,
             const std::string& text) {
        if (where && overrides_.count(where)) {
            found_.push_back({is_error, "", 0, 0, "-D " + key, text});
            return;
        }
        const int64_t line = where ? std::max<int64_t>(where->source().begin.line, 0) : 0;
        found_.push_back({is_error, file_, line, 0, key, text});
    }
    std::string file_;
    std::vector<ManifestDiagnostic> found_;
    std::set<std::string> misplaced_;
    std::set<const toml::node*> overrides_;
};

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Unknown keys are most often typing mistakes; say which keys the table takes. A top-level
// key inside a table (`header`) was written below that table's header, which TOML reads as
// part of the table.
void CheckKeys(const toml::table& table, KeyPlace place, const std::string& prefix, Report& report,
               const std::string& header = "") {
    const std::vector<std::string_view> known = KeysOf(place);
    for (const auto& [key, node] : table) {
        if (std::find(known.begin(), known.end(), key.str()) != known.end()) continue;
        const std::string name(key.str());
        if (!header.empty() && IsTopLevelKey(name)) {
            const bool many = header.starts_with("[[");
            report.Problem(&node, name,
                           std::string("stands below ") + (many ? "a " : "the ") + header +
                               " table, so TOML reads it as part of that table; move the " +
                               header + (many ? " tables" : " table") + " to the end of the file");
            continue;
        }
        std::string list;
        for (const std::string_view k : known)
            list += (list.empty() ? "" : ", ") + std::string(k);
        const std::string closest =
            ClosestName(name, std::vector<std::string>(known.begin(), known.end()));
        report.Problem(&node, prefix + name,
                       closest.empty() ? "unknown key; the keys here are " + list
                                       : "unknown key; did you mean \"" + closest +
                                             "\"? The keys here are " + list);
    }
}

// Where a path the manifest names does not exist, the commonest cause is a path written the
// Windows way: a `\` in double quotes starts an escape (`\t` is a tab), and elsewhere than
// on Windows it is an ordinary character of a file name rather than a separator.
std::string PathAdvice(const std::string& written, const fs::path& folder) {
    static constexpr std::string_view kEscaped = "\t\n\r\b\f";
    static constexpr std::string_view kLetters = "tnrbf";
    std::string slashed = written;
    bool escapes = false;
    for (size_t i = 0; i < slashed.size(); ++i) {
        if (const size_t at = kEscaped.find(slashed[i]); at != std::string_view::npos) {
            slashed.replace(i, 1, "/" + std::string(1, kLetters[at]));
            escapes = true;
        }
    }
#ifndef _WIN32
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
#endif
    if (slashed == written) return "";
    std::error_code error;
    const bool found = fs::exists(folder / PathFromUtf8(slashed), error);
    std::string advice = escapes ? "; inside double quotes \\t, \\n, \\r, \\b and \\f are "
                                   "escapes for control characters, not path separators"
                                 : "; a \\ separates folders only on Windows";
    advice += found ? ", and \"" + slashed +
                          "\" exists: write paths with /, which works on "
                          "every system"
                    : "; write paths with / (for example \"" + slashed +
                          "\"), which works on every system";
    return advice;
}

std::optional<std::string> StringAt(const toml::table& table, std::string_view key,
                                    const std::string& label, Report& report) {
    const toml::node* node = table.get(key);
    if (!node) return std::nullopt;
    if (!node->is_string()) {
        report.Problem(node, label, "must be a string in quotes");
        return std::nullopt;
    }
    return node->value<std::string>();
}

std::optional<CompressChoice> CompressAt(const toml::table& table, const std::string& label,
                                         Report& report) {
    const toml::node* node = table.get("compress");
    if (!node) return std::nullopt;
    if (node->is_boolean())
        return *node->value<bool>() ? CompressChoice::Always : CompressChoice::Never;
    if (node->is_string() && *node->value<std::string>() == "auto") return CompressChoice::Auto;
    report.Problem(node, label,
                   "must be \"auto\" (compress when that makes the member smaller), "
                   "true (always) or false (store as is)");
    return std::nullopt;
}

// The manifest's word for a member that comes with lmvpack; a file of that name is written
// "./builtin".
constexpr std::string_view kBuiltin = "builtin";

// A member file: present, a regular file, not empty, small enough. False after a problem.
bool CheckMemberFile(const MemberSource& member, const std::string& written, const fs::path& folder,
                     const toml::node* where, const std::string& label, Report& report) {
    std::error_code error;
    const fs::file_status status = fs::status(member.file, error);
    if (!fs::exists(status)) {
        const std::string advice = PathAdvice(written, folder);
        report.Problem(where, label,
                       Quoted(member.file.string()) + " does not exist" +
                           (advice.empty()
                                ? "; give the path of the file, relative to the manifest's folder"
                                : advice));
        return false;
    }
    if (!fs::is_regular_file(status)) {
        report.Problem(where, label, Quoted(member.file.string()) + " is not a regular file");
        return false;
    }
    const uintmax_t size = fs::file_size(member.file, error);
    if (error) {
        report.Problem(where, label,
                       Quoted(member.file.string()) + " cannot be read: " + error.message());
    } else if (size == 0) {
        report.Problem(where, label,
                       Quoted(member.file.string()) +
                           " is empty; the package format cannot hold an empty file (a size of 0 "
                           "ends the member table), so give it at least one byte");
    } else if (size > kMaxInstallerFileSize) {
        report.Problem(where, label,
                       Quoted(member.file.string()) +
                           " is larger than 2 GiB, more than an installer can hold");
    } else {
        return true;
    }
    return false;
}

// The screen saver and an author's uninstaller are started by Windows: anything else in their
// place installs without a word and fails on the user's machine.
void CheckProgramMember(const MemberSource& member, const toml::node* where,
                        const std::string& label, Report& report) {
    const ProgramKind kind = JudgeProgramFile(member.file);
    const std::string role = label == "screensaver" ? "the screen saver" : "the uninstaller";
    if (!kind.windows_program)
        report.Problem(where, label,
                       Quoted(member.file.string()) + " is " + kind.description + ", not a " +
                           "Windows program; " + role + " must be one" +
                           (label == "screensaver" ? " (a .scr file)"
                                                   : " (or leave the key out for lmvpack's own)"));
    else if (!kind.runs_on_32_bit)
        report.Warning(where, label,
                       Quoted(member.file.string()) + " is " + kind.description +
                           ": 32-bit Windows cannot run it");
}

std::optional<MemberSource> LoadFixedMember(const toml::table& root, std::string_view key,
                                            const fs::path& folder, CompressChoice fallback,
                                            Report& report) {
    const std::string label(key);
    const toml::node* node = root.get(key);
    MemberSource member{label, {}, fallback, {}, ' '};
    // The members that may be left out are those lmvpack can supply.
    const bool may_be_builtin = !FindManifestKey(KeyPlace::TopLevel, key)->required;
    if (!node && may_be_builtin) {
        member.builtin = true;
        return member;
    }
    if (!node) {
        if (!report.WasMisplaced(label))
            report.Problem(nullptr, label, "missing; add " + label + " = \"path/to/file\"");
        return std::nullopt;
    }
    std::optional<std::string> file;
    if (node->is_string()) {
        file = node->value<std::string>();
    } else if (const toml::table* table = node->as_table()) {
        CheckKeys(*table, KeyPlace::FixedMember, label + ".", report,
                  table->is_inline() ? "" : "[" + label + "]");
        file = StringAt(*table, "file", label + ".file", report);
        if (!file && !table->get("file"))
            report.Problem(node, label + ".file", "missing; add file = \"path/to/file\"");
        if (const auto compress = CompressAt(*table, label + ".compress", report))
            member.compress = *compress;
    } else {
        report.Problem(node, label, "must be a path in quotes or a table with file and compress");
        return std::nullopt;
    }
    if (!file) return std::nullopt;
    if (may_be_builtin && *file == kBuiltin) {
        member.builtin = true;
        return member;
    }
    member.file = folder / PathFromUtf8(*file);
    if (CheckMemberFile(member, *file, folder, node, label, report) && key != "data")
        CheckProgramMember(member, node, label, report);
    return member;
}

void LoadMediaMember(const toml::table& table, size_t number, const fs::path& folder,
                     CompressChoice fallback, Manifest& manifest, Report& report) {
    const std::string label = "media #" + std::to_string(number) + " ";
    CheckKeys(table, KeyPlace::Media, label, report, table.is_inline() ? "" : "[[media]]");
    MemberSource member{"media #" + std::to_string(number), {}, fallback, {}, ' '};
    const std::optional<std::string> file = StringAt(table, "file", label + "file", report);
    if (!file) {
        if (!table.get("file"))
            report.Problem(&table, label + "file", "missing; add file = \"path/to/file\"");
    } else {
        member.file = folder / PathFromUtf8(*file);
        CheckMemberFile(member, *file, folder, table.get("file"), label + "file", report);
    }

    // The suffix defaults to the file's own extension, dot included.
    std::optional<std::string> suffix = StringAt(table, "suffix", label + "suffix", report);
    const toml::node* suffix_node = table.get("suffix") ? table.get("suffix") : &table;
    if (!suffix && !table.get("suffix") && file)
        suffix = Utf8FromPath(PathFromUtf8(*file).extension());
    if (suffix) {
        const AnsiConversion ansi = Utf8ToWindows1252(*suffix);
        // A media file's name as the installer makes it, which drops the suffix's trailing
        // blanks.
        const std::string installed = TrimTrailingBlanks("FILE0001" + ansi.text);
        if (const std::string not_ascii = NonAsciiNameProblem(*suffix); !not_ascii.empty()) {
            report.Problem(suffix_node, label + "suffix", Quoted(*suffix) + " " + not_ascii);
        } else if (!ansi.problem.empty()) {
            report.Problem(suffix_node, label + "suffix", Quoted(*suffix) + " " + ansi.problem);
        } else if (constexpr int64_t kMost = Key(KeyPlace::Media, "suffix").most;
                   static_cast<int64_t>(ansi.text.size()) > kMost) {
            report.Problem(suffix_node, label + "suffix",
                           Quoted(*suffix) + " is " + std::to_string(ansi.text.size()) +
                               " bytes; a suffix holds at most " + std::to_string(kMost) +
                               " bytes (for example \".MID\")");
        } else if (const std::string why = FileNameProblem(installed); !why.empty()) {
            report.Problem(suffix_node, label + "suffix", Quoted(*suffix) + " " + why);
        } else {
            member.name_suffix = ansi.text;
            if (ansi.text.find('.') == std::string::npos)
                report.Warning(suffix_node, label + "suffix",
                               Quoted(*suffix) + " has no dot: the installer finds the media type "
                                                 "by the extension after the last dot");
        }
    }

    if (const auto prefix = StringAt(table, "prefix", label + "prefix", report)) {
        static const std::map<std::string, uint8_t> kPrefixes = {
            {"JUK_", '_'}, {"JUKE", 0}, {"FILE", ' '}};
        const auto found = kPrefixes.find(*prefix);
        if (found == kPrefixes.end())
            report.Problem(
                table.get("prefix"), label + "prefix",
                Quoted(*prefix) +
                    " is not a prefix the installer knows; use \"JUK_\", \"JUKE\" or \"FILE\"");
        else
            member.prefix_kind = found->second;
    }
    if (const auto compress = CompressAt(table, label + "compress", report))
        member.compress = *compress;
    manifest.members.push_back(member);
}

// Windows-1252 text with CR LF line ends, from a UTF-8 or Windows-1252 file.
void LoadAgreement(const toml::table& root, const fs::path& folder, Manifest& manifest,
                   Report& report) {
    const std::optional<std::string> file = StringAt(root, "agreement", "agreement", report);
    const std::optional<std::string> encoding =
        StringAt(root, "agreement_encoding", "agreement_encoding", report);
    if (encoding && *encoding != "utf-8" && *encoding != "windows-1252")
        report.Problem(root.get("agreement_encoding"), "agreement_encoding",
                       Quoted(*encoding) +
                           " is not known; use \"utf-8\" (the default) or \"windows-1252\"");
    if (!file) return;
    const toml::node* where = root.get("agreement");
    const fs::path path = folder / PathFromUtf8(*file);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        const std::string advice = PathAdvice(*file, folder);
        report.Problem(where, "agreement",
                       Quoted(path.string()) + " does not exist or is not a file" +
                           (advice.empty() ? "; give the path of a text file, relative to the "
                                             "manifest's folder"
                                           : advice));
        return;
    }
    manifest.other_inputs.push_back(path);
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadWholeFile(path);
    } catch (const BuildError& failure) {
        report.Problem(where, "agreement", failure.what());
        return;
    }
    std::string text(bytes.begin(), bytes.end());
    const bool utf8 = !encoding || *encoding == "utf-8";
    if (utf8 && text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);

    std::string converted;
    size_t line_number = 1;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        const bool last = end == std::string::npos;
        if (last) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        if (line.find('\0') != std::string_view::npos) {
            report.Problem(
                where, "agreement",
                Quoted(path.string()) + " line " + std::to_string(line_number) +
                    " holds a NUL byte; the installer would show the text only up to it");
            return;
        }
        if (utf8) {
            const AnsiConversion ansi = Utf8ToWindows1252(line);
            if (!ansi.problem.empty()) {
                report.Problem(where, "agreement",
                               Quoted(path.string()) + " line " + std::to_string(line_number) +
                                   " " + ansi.problem +
                                   (ansi.problem.starts_with("is not valid")
                                        ? "; save the file as UTF-8 or set agreement_encoding = "
                                          "\"windows-1252\""
                                        : ""));
                return;
            }
            converted += ansi.text;
        } else {
            converted += line;
        }
        if (last) break;
        converted += "\r\n";
        // CR LF, a lone LF and a lone CR each end one line.
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++line_number;
    }
    if (constexpr int64_t kMost = Key(KeyPlace::TopLevel, "agreement").most;
        static_cast<int64_t>(converted.size()) > kMost) {
        report.Problem(where, "agreement",
                       Quoted(path.string()) + " is " + std::to_string(converted.size()) +
                           " bytes with CR LF line ends; an agreement holds at most " +
                           std::to_string(kMost) + " bytes");
        return;
    }
    if (converted.empty())
        report.Warning(where, "agreement",
                       Quoted(path.string()) + " is empty, so the installer shows no agreement");
    manifest.agreement_text = converted;
}

// The installer writes "<name> Screen Saver" on its title and in its messages, so a name that
// ends in those words shows them twice.
void WarnAboutRepeatedWords(const std::string& trimmed, const toml::node* where, Report& report) {
    std::string folded;
    for (const char c : trimmed)
        if (c != ' ' && c != '-' && c != '_')
            folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!folded.ends_with("screensaver")) return;
    report.Warning(where, "name",
                   "ends in \"Screen Saver\", which the installer adds itself: its title would "
                   "read \"" +
                       Windows1252ToUtf8(trimmed) +
                       " Screen Saver\"; leave those words out of the name");
}

void LoadName(const toml::table& root, Manifest& manifest, Report& report) {
    const std::optional<std::string> name = StringAt(root, "name", "name", report);
    const toml::node* where = root.get("name");
    if (!name) {
        if (!where && !report.WasMisplaced("name"))
            report.Problem(nullptr, "name",
                           "missing; add name = \"Aurora\" (the installer adds "
                           "\"Screen Saver\" to it in its texts)");
        return;
    }
    if (const std::string why = NonAsciiNameProblem(*name); !why.empty()) {
        report.Problem(where, "name", Quoted(*name) + " " + why);
        return;
    }
    const AnsiConversion ansi = Utf8ToWindows1252(*name);
    if (!ansi.problem.empty()) {
        report.Problem(where, "name", Quoted(*name) + " " + ansi.problem);
        return;
    }
    const std::string trimmed = TrimTrailingBlanks(ansi.text);
    if (const std::string why = ScreenSaverNameProblem(ansi.text); !why.empty()) {
        report.Problem(where, "name",
                       Quoted(*name) + " " + why +
                           "; the name becomes the screen saver's file and folder name");
        return;
    }
    if (constexpr int64_t kMost = Key(KeyPlace::TopLevel, "name").most;
        static_cast<int64_t>(ansi.text.size()) > kMost) {
        report.Problem(where, "name",
                       "is " + std::to_string(ansi.text.size()) +
                           " bytes in Windows-1252 with its trailing blanks; the name field holds "
                           "at most " +
                           std::to_string(kMost) + " bytes");
        return;
    }
    if (trimmed.size() != ansi.text.size())
        report.Warning(where, "name",
                       "ends in blanks: the title screen shows them, but the installer removes "
                       "them before it installs \"" +
                           Windows1252ToUtf8(trimmed) + ".scr\"");
    if (const std::string why = ScreenSaverNameWarning(ansi.text); !why.empty())
        report.Warning(where, "name", why);
    WarnAboutRepeatedWords(trimmed, where, report);
    manifest.name = ansi.text;
}

void LoadColor(const toml::table& root, std::string_view key, uint32_t& color, Report& report) {
    const std::optional<std::string> text = StringAt(root, key, std::string(key), report);
    if (!text) return;
    if (const std::optional<uint32_t> parsed = ParseColor(*text))
        color = *parsed;
    else
        report.Problem(root.get(key), std::string(key),
                       Quoted(*text) + " is not a colour; write \"#RRGGBB\" in hexadecimal, for "
                                       "example \"#0000FF\" for blue");
}

void LoadScalars(const toml::table& root, Manifest& manifest, Report& report) {
    if (const toml::node* node = root.get("needs_directx")) {
        if (node->is_boolean())
            manifest.needs_directx = *node->value<bool>();
        else
            report.Problem(node, "needs_directx", "must be true or false");
    }
    LoadColor(root, "top_color", manifest.top_color, report);
    LoadColor(root, "bottom_color", manifest.bottom_color, report);
    if (const toml::node* node = root.get("first_media_number")) {
        const std::optional<int64_t> number =
            node->is_integer() ? node->value<int64_t>() : std::nullopt;
        constexpr ManifestKey kKey = Key(KeyPlace::TopLevel, "first_media_number");
        if (!number || *number < kKey.least || *number > kKey.most)
            report.Problem(node, "first_media_number",
                           "must be a whole number from " + std::to_string(kKey.least) + " to " +
                               std::to_string(kKey.most));
        else
            manifest.first_media_number = static_cast<uint16_t>(*number);
    }
}

// An icon file that Windows could not show would leave the installer without any icon.
void LoadIcon(const toml::table& root, const fs::path& folder, Manifest& manifest, Report& report) {
    const std::optional<std::string> file = StringAt(root, "icon", "icon", report);
    if (!file) return;
    const toml::node* where = root.get("icon");
    const fs::path path = folder / PathFromUtf8(*file);
    constexpr uintmax_t kLargestIcon = Key(KeyPlace::TopLevel, "icon").most;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        report.Problem(where, "icon",
                       Quoted(path.string()) +
                           " does not exist or is not a file; give the path "
                           "of an .ico file, relative to the manifest's folder");
        return;
    }
    if (fs::file_size(path, error) > kLargestIcon) {
        report.Problem(where, "icon", Quoted(path.string()) + " is larger than 4 MiB");
        return;
    }
    try {
        ParseIconFile(ReadWholeFile(path));
        manifest.icon = path;
    } catch (const BuildError& failure) {
        report.Problem(where, "icon", Quoted(path.string()) + " " + failure.what());
    }
}

void LoadVersion(const toml::table& root, Manifest& manifest, Report& report) {
    const toml::node* node = root.get("version");
    if (!node) return;
    const toml::table* table = node->as_table();
    if (!table) {
        report.Problem(node, "version",
                       "must be a table: write [version] with product = \"...\" and version = "
                       "\"1.2.3.4\" below it, at the end of the file");
        return;
    }
    CheckKeys(*table, KeyPlace::Version, "version.", report);
    ProductVersion version;
    bool whole = true;
    const std::map<std::string_view, std::string*> targets = {{"product", &version.product},
                                                              {"version", &version.version},
                                                              {"company", &version.company},
                                                              {"copyright", &version.copyright}};
    for (const ManifestKey& field : kManifestKeys) {
        if (field.place != KeyPlace::Version) continue;
        const std::string key(field.name);
        std::string* const target = targets.at(field.name);
        const bool required = field.required;
        const auto longest = static_cast<size_t>(field.most);
        const std::string label = "version." + key;
        const std::optional<std::string> text = StringAt(*table, key, label, report);
        if (!text) {
            if (required && !table->get(key))
                report.Problem(node, label,
                               std::string("missing; add ") + key + " = " +
                                   (key == "version" ? "\"1.0.0.0\"" : "\"Your Product\""));
            // An optional key left out leaves the table whole; one of another type does not.
            if (required || table->get(key)) whole = false;
            continue;
        }
        if (text->empty() && required) {
            report.Problem(table->get(key), label, "must not be empty");
            whole = false;
        } else if (text->size() > longest) {
            report.Problem(table->get(key), label,
                           "is " + std::to_string(text->size()) + " bytes; at most " +
                               std::to_string(longest));
            whole = false;
        }
        *target = *text;
    }
    if (!version.version.empty()) {
        if (const auto number = ParseVersionNumber(version.version)) {
            version.number = *number;
        } else {
            report.Problem(table->get("version"), "version.version",
                           Quoted(version.version) +
                               " is not a version number; write up to four numbers from 0 to "
                               "65535 separated by dots, for example \"1.2.3.4\"");
            whole = false;
        }
    }
    if (whole) manifest.version = version;
}

// Two members installed under the same name would overwrite each other in the data folder,
// whose names Windows compares without regard to case.
void CheckInstalledNames(const Manifest& manifest, Report& report) {
    std::map<std::string, std::string> seen;
    for (size_t index = kDataFileMember; index < manifest.members.size(); ++index) {
        const MemberSource& source = manifest.members[index];
        MemberEntry entry{};
        std::copy(source.name_suffix.begin(), source.name_suffix.end(), entry.NameSuffix);
        entry.PrefixKind = source.prefix_kind;
        const std::string name = InstalledName(static_cast<uint32_t>(index), entry, manifest.name,
                                               manifest.first_media_number);
        std::string folded;
        for (const char c : name)
            folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto [at, fresh] = seen.emplace(folded, source.key);
        if (!fresh)
            report.Problem(nullptr, source.key,
                           "would be installed as \"" + Windows1252ToUtf8(name) +
                               "\", the same name as " + at->second +
                               "; change its suffix or prefix");
    }
}

// Plain keys written below a [table] header belong to that table in TOML, so an author who
// turns a member into a table where it stands loses the keys after it from the top level.
void NoteMisplacedKeys(const toml::table& root, Report& report) {
    std::vector<const toml::table*> tables;
    for (const std::string_view key : KeysOfType(KeyType::Member))
        if (const toml::table* table = root.get_as<toml::table>(key)) tables.push_back(table);
    if (const toml::array* media = root.get_as<toml::array>("media"))
        for (const toml::node& entry : *media)
            if (const toml::table* table = entry.as_table()) tables.push_back(table);
    for (const toml::table* table : tables)
        if (!table->is_inline())
            for (const auto& [key, node] : *table)
                if (IsTopLevelKey(key.str())) report.NoteMisplaced(std::string(key.str()));
}

// Line `number` (counted from 1) of `text`.
std::string_view LineOf(std::string_view text, int64_t number) {
    size_t start = 0;
    for (int64_t line = 1; line < number && start < text.size(); ++line) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) return {};
        start = end + 1;
    }
    const size_t end = text.find('\n', start);
    return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Every key a -D may name, for "did you mean": the top-level keys, the keys of [version], of
// the fixed members' tables and of the [[media]] tables the manifest has (at least one).
std::vector<std::string> OverridableKeys(const toml::table& root) {
    std::vector<std::string> names;
    const toml::array* media = root.get_as<toml::array>("media");
    const size_t media_count = std::max<size_t>(media ? media->size() : 0, 1);
    for (const ManifestKey& key : kManifestKeys) {
        const std::string name(key.name);
        switch (key.place) {
        case KeyPlace::TopLevel:
            if (key.type != KeyType::Table && key.type != KeyType::MediaList) names.push_back(name);
            break;
        case KeyPlace::FixedMember:
            for (const std::string_view member : KeysOfType(KeyType::Member))
                names.push_back(std::string(member) + "." + name);
            break;
        case KeyPlace::Media:
            for (size_t n = 1; n <= media_count; ++n)
                names.push_back("media." + std::to_string(n) + "." + name);
            break;
        case KeyPlace::Version:
            names.push_back("version." + name);
            break;
        }
    }
    return names;
}

// Puts the TOML value a -D text stands for under `name`, as the key's type would have it
// written; anything that does not fit stays a text, for the key's own check to refuse in its
// own words. Returns the node put there.
const toml::node* SetOverride(toml::table& table, const std::string& name, const ManifestKey& key,
                              const std::string& text) {
    const bool builtin =
        text == kBuiltin && (key.type == KeyType::Member ||
                             (key.place == KeyPlace::FixedMember && key.type == KeyType::Path));
    int64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if ((key.type == KeyType::Boolean || key.type == KeyType::Compress) &&
        (text == "true" || text == "false"))
        table.insert_or_assign(name, text == "true");
    else if (key.type == KeyType::WholeNumber && error == std::errc() &&
             end == text.data() + text.size())
        table.insert_or_assign(name, number);
    else if ((key.type == KeyType::Path || key.type == KeyType::Member) && !builtin &&
             !text.empty())
        table.insert_or_assign(name,
                               Utf8FromPath(fs::absolute(PathFromUtf8(text)).lexically_normal()));
    else
        table.insert_or_assign(name, text);
    return table.get(name);
}

// The table a dotted -D key's last part goes into, made where it is missing; null (after a
// problem) when the manifest has no such place.
toml::table* OverrideTable(toml::table& root, const std::vector<std::string>& parts,
                           const std::string& option, Report& report) {
    if (parts.size() == 1) return &root;
    if (parts[0] == "version") {
        if (!root.get("version")) root.insert("version", toml::table{});
        toml::table* table = root.get_as<toml::table>("version");
        if (!table) report.OptionProblem(option, "the manifest's version is not a table");
        return table;
    }
    if (parts[0] == "media") {
        toml::array* media = root.get_as<toml::array>("media");
        size_t number = 0;
        for (const char c : parts[1])
            number = std::isdigit(static_cast<unsigned char>(c)) && number < 100000
                         ? number * 10 + static_cast<size_t>(c - '0')
                         : SIZE_MAX;
        const size_t count = media ? media->size() : 0;
        if (number == 0 || number > count) {
            report.OptionProblem(option, "the manifest has no [[media]] table number " + parts[1] +
                                             " (it has " + std::to_string(count) +
                                             "); -D changes keys, it adds no member");
            return nullptr;
        }
        toml::table* table = (*media)[number - 1].as_table();
        if (!table) report.OptionProblem(option, "media is not a list of tables");
        return table;
    }
    // A fixed member written as a path becomes a table with that path as its file.
    toml::node* member = root.get(parts[0]);
    if (!member) {
        root.insert(parts[0], toml::table{});
    } else if (member->is_string()) {
        toml::table table;
        table.insert("file", *member->value<std::string>());
        root.insert_or_assign(parts[0], std::move(table));
    }
    toml::table* table = root.get_as<toml::table>(parts[0]);
    if (!table) report.Problem(root.get(parts[0]), parts[0], "must be a path or a table");
    return table;
}

void ApplyOverride(toml::table& root, const std::string& option, Report& report) {
    const size_t equals = option.find('=');
    if (equals == std::string::npos || equals == 0) {
        report.OptionProblem("-D " + option,
                             "write -D KEY=VALUE, for example -D version.version=1.2.3.4");
        return;
    }
    const std::string dotted = option.substr(0, equals), text = option.substr(equals + 1);
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t dot = dotted.find('.', start);
        parts.push_back(dotted.substr(start, dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    const std::vector<std::string> known = OverridableKeys(root);
    const bool media = parts.size() == 3 && parts[0] == "media";
    const std::string name = parts.back();
    const KeyPlace place =
        parts.size() == 1       ? KeyPlace::TopLevel
        : media                 ? KeyPlace::Media
        : parts[0] == "version" ? KeyPlace::Version
        : FindManifestKey(KeyPlace::TopLevel, parts[0]) &&
                FindManifestKey(KeyPlace::TopLevel, parts[0])->type == KeyType::Member
            ? KeyPlace::FixedMember
            : KeyPlace::TopLevel;
    const ManifestKey* key = FindManifestKey(place, name);
    const bool shaped =
        parts.size() == 1 ||
        (parts.size() == 2 && place != KeyPlace::TopLevel && place != KeyPlace::Media) || media;
    if (!key || !shaped ||
        (place == KeyPlace::TopLevel &&
         (key->type == KeyType::Table || key->type == KeyType::MediaList))) {
        const bool table = key && shaped;
        report.OptionProblem(
            "-D " + dotted,
            table ? "is a table; set one of its keys, for example -D "
                    "version.version=1.2.3.4"
            : ClosestName(dotted, known).empty()
                ? "unknown key; the keys are written as in the manifest, a table's "
                  "with a dot: name, version.version, uninstaller.compress, "
                  "media.1.suffix"
                : "unknown key; did you mean \"" + ClosestName(dotted, known) + "\"?");
        return;
    }
    toml::table* table = OverrideTable(root, parts, "-D " + dotted, report);
    if (!table) return;
    // A member given as a table keeps its other keys: the value is its file.
    if (toml::table* member = table->get_as<toml::table>(name);
        member && key->type == KeyType::Member) {
        report.NoteOverride(SetOverride(*member, "file", *key, text));
        return;
    }
    report.NoteOverride(SetOverride(*table, name, *key, text));
}

} // namespace

std::string ManifestDiagnostic::Text() const {
    std::string text = file;
    if (line > 0) text += ":" + std::to_string(line);
    if (column > 0) text += ":" + std::to_string(column);
    if (!text.empty()) text += ": ";
    if (!key.empty()) text += key + ": ";
    return text + message;
}

std::optional<uint32_t> ParseColor(std::string_view text) {
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    uint32_t rgb = 0;
    for (const char c : text.substr(1)) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        rgb = rgb << 4 | static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                   ? c - '0'
                                                   : std::tolower(c) - 'a' + 10);
    }
    const uint32_t red = rgb >> 16, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
    return blue << 16 | green << 8 | red;
}

ManifestLoad LoadManifest(const fs::path& path, bool with_members,
                          const std::vector<std::string>& overrides) {
    ManifestLoad result;
    Report report(path);
    std::string text;
    try {
        const std::vector<uint8_t> bytes = ReadWholeFile(path);
        text.assign(bytes.begin(), bytes.end());
    } catch (const BuildError& error) {
        result.diagnostics.push_back({true, "", 0, 0, "", error.what()});
        result.problems.push_back(error.what());
        return result;
    }
    toml::table root;
    try {
        root = toml::parse(text, path.string());
    } catch (const toml::parse_error& error) {
        const toml::source_position at = error.source().begin;
        result.diagnostics.push_back(
            {true, path.string(), at.line, at.column, "",
             "not valid TOML: " + PlainTomlError(error.description(), LineOf(text, at.line))});
        result.problems.push_back(result.diagnostics.back().Text());
        return result;
    }

    for (const std::string& option : overrides)
        ApplyOverride(root, option, report);

    Manifest manifest;
    manifest.path = path;
    const fs::path folder = path.parent_path();
    NoteMisplacedKeys(root, report);
    CheckKeys(root, KeyPlace::TopLevel, "", report);

    CompressChoice fallback = CompressChoice::Auto;
    if (const auto compress = CompressAt(root, "compress", report)) fallback = *compress;
    LoadName(root, manifest, report);
    LoadScalars(root, manifest, report);
    if (!with_members) {
        report.Deliver(result);
        if (result.problems.empty()) result.manifest = std::move(manifest);
        return result;
    }
    LoadAgreement(root, folder, manifest, report);
    LoadIcon(root, folder, manifest, report);
    LoadVersion(root, manifest, report);

    // The fixed roles keep their table places even when one of them is missing, so that the
    // media members' numbers in the messages stay right.
    for (const std::string_view key : KeysOfType(KeyType::Member))
        if (auto member = LoadFixedMember(root, key, folder, fallback, report))
            manifest.members.push_back(*member);
        else
            manifest.members.push_back(MemberSource{std::string(key), {}, fallback, {}, ' '});

    if (const toml::node* media = root.get("media")) {
        const toml::array* list = media->as_array();
        if (!list || !list->is_array_of_tables()) {
            report.Problem(media, "media", "must be a list of tables, each written [[media]]");
        } else {
            size_t number = 0;
            for (const toml::node& entry : *list)
                LoadMediaMember(*entry.as_table(), ++number, folder, fallback, manifest, report);
            const uint64_t last = uint64_t{manifest.first_media_number} + list->size() - 1;
            if (!list->empty() && last > kHighestMediaNumber)
                report.Problem(root.get("first_media_number") ? root.get("first_media_number")
                                                              : media,
                               "media",
                               std::to_string(list->size()) + " media files numbered from " +
                                   std::to_string(manifest.first_media_number) + " would reach " +
                                   std::to_string(last) +
                                   "; the installed names keep their four digits only up to 9999, "
                                   "so lower first_media_number or use fewer files");
        }
    }
    if (!report.HasProblems()) CheckInstalledNames(manifest, report);

    report.Deliver(result);
    if (result.problems.empty()) result.manifest = std::move(manifest);
    return result;
}
