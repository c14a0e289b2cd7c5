// The key table: the reference and the starter manifest name exactly its keys, and what it
// says of defaults and limits is what the loader does.
#include "lmvpack_runner.h"

#include "tools/lmvpack/manifest/manifest.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace {

using namespace lmvpack_test;

// A key as "name" (top level), "member.file", "media.suffix" or "version.product".
std::string Qualified(KeyPlace place, std::string_view name) {
    switch (place) {
    case KeyPlace::TopLevel:
        return std::string(name);
    case KeyPlace::FixedMember:
        return "member." + std::string(name);
    case KeyPlace::Media:
        return "media." + std::string(name);
    case KeyPlace::Version:
        return "version." + std::string(name);
    }
    return "?";
}

std::set<std::string> TableKeys() {
    std::set<std::string> keys;
    for (const ManifestKey& key : kManifestKeys)
        keys.insert(Qualified(key.place, key.name));
    return keys;
}

std::string Listed(const std::set<std::string>& keys) {
    std::string text;
    for (const std::string& key : keys)
        text += key + " ";
    return text;
}

// The bare key at the start of `line` ("name" in `name = "x"`), or empty.
std::string LeadingKey(std::string_view line) {
    size_t end = 0;
    while (end < line.size() &&
           (std::islower(static_cast<unsigned char>(line[end])) || line[end] == '_'))
        ++end;
    return end > 0 && line.substr(end).starts_with(" = ") ? std::string(line.substr(0, end)) : "";
}

// The keys that lines of TOML name, tracking the [table] they stand in; inline tables count
// as the fixed members' tables. `commented`: lines of a starter, where "# " switches a key
// off but still names it, and prose without " = " after a leading word is skipped.
void CollectTomlKeys(const std::vector<std::string>& lines, bool commented,
                     std::set<std::string>& keys) {
    KeyPlace place = KeyPlace::TopLevel;
    for (std::string_view line : lines) {
        if (commented && line.starts_with('#')) {
            line.remove_prefix(1);
            while (line.starts_with(' '))
                line.remove_prefix(1);
        } else if (line.starts_with('#')) {
            continue;
        }
        if (line.starts_with('[')) {
            const size_t open = line.find_first_not_of('[');
            const std::string table(line.substr(open, line.find(']') - open));
            keys.insert(table);
            place = table == "media"     ? KeyPlace::Media
                    : table == "version" ? KeyPlace::Version
                                         : KeyPlace::FixedMember;
            continue;
        }
        const std::string key = LeadingKey(line);
        if (key.empty()) continue;
        keys.insert(Qualified(place, key));
        if (const size_t brace = line.find('{'); brace != std::string_view::npos) {
            std::string_view rest = line.substr(brace + 1);
            while (!rest.empty()) {
                const size_t comma = rest.find(',');
                std::string_view part = rest.substr(0, comma);
                while (part.starts_with(' '))
                    part.remove_prefix(1);
                if (const std::string inner = LeadingKey(part); !inner.empty())
                    keys.insert(Qualified(KeyPlace::FixedMember, inner));
                rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
            }
        }
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::set<std::string> TableKeys(bool top_level) {
    std::set<std::string> keys;
    for (const ManifestKey& key : kManifestKeys)
        if ((key.place == KeyPlace::TopLevel) == top_level)
            keys.insert(Qualified(key.place, key.name));
    return keys;
}

// docs/manifest.md: its "Keys" table has a row for every top-level key, and its TOML examples
// show every key of the tables and no key that does not exist.
TEST(ManifestKeys, TheReferenceNamesExactlyTheTablesKeys) {
    const std::vector<std::string> lines =
        Lines(ReadText(fs::path(LMV_SOURCE_DIR) / "docs" / "manifest.md"));
    ASSERT_FALSE(lines.empty());
    std::set<std::string> rows, examples;
    bool in_keys = false, in_toml = false;
    std::vector<std::string> block;
    for (const std::string& line : lines) {
        if (line.starts_with("#")) in_keys = line == "## Keys";
        if (in_keys && line.starts_with("| `")) {
            std::string key = line.substr(3, line.find('`', 3) - 3);
            key.erase(0, key.find_first_not_of('['));
            key.erase(std::min(key.find(']'), key.size()));
            rows.insert(key);
        }
        if (line == "```toml") {
            in_toml = true;
            block.clear();
        } else if (in_toml && line == "```") {
            in_toml = false;
            CollectTomlKeys(block, false, examples);
        } else if (in_toml) {
            block.push_back(line);
        }
    }
    EXPECT_EQ(Listed(rows), Listed(TableKeys(true)));
    std::set<std::string> top_level_examples, table_examples;
    for (const std::string& key : examples)
        (key.find('.') == std::string::npos ? top_level_examples : table_examples).insert(key);
    EXPECT_EQ(Listed(table_examples), Listed(TableKeys(false)));
    for (const std::string& key : top_level_examples)
        EXPECT_EQ(TableKeys(true).count(key), 1u) << key << " is in an example but not a key";
}

TEST(ManifestKeys, TheStarterNamesExactlyTheTablesKeys) {
    ScratchFolder folder;
    ASSERT_EQ(RunLmvpack(folder.path(), {"init"}).status, 0);
    std::set<std::string> named;
    CollectTomlKeys(Lines(ReadText(folder / "screensaver.toml")), true, named);
    EXPECT_EQ(Listed(named), Listed(TableKeys()));
}

// Writing a key's default out changes nothing: the table's defaults are the loader's.
TEST(ManifestKeys, WritingADefaultOutLoadsTheSameManifest) {
    ScratchFolder folder;
    for (const char* name : {"s.scr", "m.mid"})
        WriteText(folder / name, ProgramText("bytes"));
    const std::string members = "screensaver = \"s.scr\"\n";
    const std::string media = "[[media]]\nfile = \"m.mid\"\n";
    std::string top, media_keys;
    size_t defaults = 0;
    for (const ManifestKey& key : kManifestKeys) {
        if (key.fallback.empty()) continue;
        const std::string line = std::string(key.name) + " = " + std::string(key.fallback) + "\n";
        ASSERT_TRUE(key.place == KeyPlace::TopLevel || key.place == KeyPlace::Media) << key.name;
        (key.place == KeyPlace::TopLevel ? top : media_keys) += line;
        ++defaults;
    }
    EXPECT_GE(defaults, 9u);
    WriteText(folder / "bare.toml", "name = \"A\"\n" + members + media);
    WriteText(folder / "full.toml", "name = \"A\"\n" + top + members + media + media_keys);
    const ManifestLoad bare = LoadManifest(folder / "bare.toml");
    const ManifestLoad full = LoadManifest(folder / "full.toml");
    ASSERT_TRUE(bare.manifest) << bare.problems.front();
    ASSERT_TRUE(full.manifest) << full.problems.front() << "\n" << top << media_keys;
    const Manifest& a = *bare.manifest;
    const Manifest& b = *full.manifest;
    EXPECT_EQ(a.agreement_text, b.agreement_text);
    EXPECT_EQ(a.needs_directx, b.needs_directx);
    EXPECT_EQ(a.top_color, b.top_color);
    EXPECT_EQ(a.bottom_color, b.bottom_color);
    EXPECT_EQ(a.first_media_number, b.first_media_number);
    ASSERT_EQ(a.members.size(), b.members.size());
    for (size_t index = 0; index < a.members.size(); ++index) {
        SCOPED_TRACE(a.members[index].key);
        EXPECT_EQ(a.members[index].builtin, b.members[index].builtin);
        EXPECT_EQ(a.members[index].compress, b.members[index].compress);
        EXPECT_EQ(a.members[index].prefix_kind, b.members[index].prefix_kind);
        EXPECT_EQ(a.members[index].name_suffix, b.members[index].name_suffix);
    }
}

// The table's bounds of whole numbers are the loader's, both ends included.
TEST(ManifestKeys, WholeNumbersAreTakenExactlyWithinTheirBounds) {
    ScratchFolder folder;
    WriteText(folder / "s.scr", ProgramText("bytes"));
    size_t checked = 0;
    for (const ManifestKey& key : kManifestKeys) {
        if (key.type != KeyType::WholeNumber) continue;
        SCOPED_TRACE(key.name);
        for (const int64_t value : {key.least - 1, key.least, key.most, key.most + 1}) {
            WriteText(folder / "m.toml", "name = \"A\"\n" + std::string(key.name) + " = " +
                                             std::to_string(value) + "\nscreensaver = \"s.scr\"\n");
            const bool inside = value >= key.least && value <= key.most;
            EXPECT_EQ(LoadManifest(folder / "m.toml").manifest.has_value(), inside) << value;
        }
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}

} // namespace
