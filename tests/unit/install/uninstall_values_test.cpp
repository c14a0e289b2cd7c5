#include "install/uninstall_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

struct Value {
    std::string name;
    uint32_t type;
    std::string data;
};

std::vector<Value> Build(const char* base, const char* uninstaller, const char* screen_saver,
                         const char* display_version = nullptr, uint32_t installed_size = 0) {
    UninstallValues values;
    BuildUninstallValues(base, uninstaller, screen_saver, display_version, installed_size, &values);
    std::vector<Value> out;
    for (int at = 0; at < values.count; ++at) {
        const UninstallValue& value = values.values[at];
        const auto* bytes = static_cast<const char*>(value.data);
        if (value.type != kRegDword) {
            // Strings count their terminator, and it is there.
            EXPECT_EQ(value.length, std::strlen(bytes) + 1) << value.name;
        } else {
            EXPECT_EQ(value.length, 4u) << value.name;
        }
        out.push_back({value.name, value.type, std::string(bytes, value.length)});
    }
    return out;
}

std::string Text(const std::string& terminated) {
    return terminated.substr(0, terminated.size() - 1);
}
uint32_t Number(const std::string& data) {
    uint32_t value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

TEST(UninstallValues, TheSevenComeFirstInOrderWithTheirTypes) {
    const auto values =
        Build("Aurora", "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE",
              "C:\\windows\\Aurora.scr");
    ASSERT_GE(values.size(), 7u);
    const std::pair<const char*, uint32_t> expected[] = {{"DisplayName", kRegSz},
                                                         {"UninstallString", kRegExpandSz},
                                                         {"InstallLocation", kRegExpandSz},
                                                         {"DisplayIcon", kRegSz},
                                                         {"Publisher", kRegSz},
                                                         {"VersionMajor", kRegDword},
                                                         {"VersionMinor", kRegDword}};
    for (size_t at = 0; at < std::size(expected); ++at) {
        EXPECT_EQ(values[at].name, expected[at].first);
        EXPECT_EQ(values[at].type, expected[at].second) << values[at].name;
    }
    EXPECT_EQ(Text(values[0].data), "Aurora Screen Saver");
    EXPECT_EQ(Text(values[1].data),
              "\"C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE\"");
    EXPECT_EQ(Text(values[2].data), "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora");
    EXPECT_EQ(Text(values[3].data), "C:\\windows\\Aurora.scr,-0");
    EXPECT_EQ(Text(values[4].data), "Tarrowby");
    EXPECT_EQ(Number(values[5].data), 8u);
    EXPECT_EQ(Number(values[6].data), 1u);
}

TEST(UninstallValues, UninstallStringIsTheQuotedLocationAndFileName) {
    // Blanks in the path are the case the quotes are for: unquoted, the system's list of
    // programs would start "C:\My.exe" or "C:\My Data\Lumenvault\My.exe" if either exists.
    const auto values =
        Build("My Saver", "C:\\My Data\\Lumenvault\\My Saver\\UNINSTAL.EXE", "C:\\W\\My Saver.scr");
    const std::string location = Text(values[2].data);
    EXPECT_EQ(location, "C:\\My Data\\Lumenvault\\My Saver");
    EXPECT_EQ(Text(values[1].data), "\"" + location + "\\UNINSTAL.EXE\"");
    EXPECT_EQ(Text(values[0].data), "My Saver Screen Saver");
}

TEST(UninstallValues, LocationOfADottedNameIsTheUninstallStringWithoutItsFileName) {
    const auto values = Build("Star.Field", "\\Tarrowby\\Lumenvault\\Star.Field\\UNINSTAL.EXE",
                              "C:\\W\\Star.Field.scr");
    const std::string location = Text(values[2].data);
    EXPECT_NE(location.back(), '\\');
    EXPECT_EQ(Text(values[1].data), "\"" + location + "\\UNINSTAL.EXE\"");
    EXPECT_EQ(Text(values[0].data), "Star.Field Screen Saver");
}

TEST(UninstallValues, LongestInputsAreNotCut) {
    const std::string base(255, 'b');
    const std::string uninstaller = "C:\\" + std::string(243, 'f') + "\\UNINSTAL.EXE"; // 259
    const std::string screen_saver = "C:\\" + std::string(252, 's') + ".scr";          // 259
    const auto values = Build(base.c_str(), uninstaller.c_str(), screen_saver.c_str());
    EXPECT_EQ(Text(values[0].data), base + " Screen Saver");
    EXPECT_EQ(Text(values[1].data), "\"" + uninstaller + "\"");
    EXPECT_EQ(Text(values[2].data), "C:\\" + std::string(243, 'f'));
    EXPECT_EQ(Text(values[3].data), screen_saver + ",-0");
}

std::map<std::string, Value> ByName(const std::vector<Value>& values) {
    std::map<std::string, Value> out;
    for (const Value& value : values)
        EXPECT_TRUE(out.emplace(value.name, value).second) << value.name << " written twice";
    return out;
}

TEST(UninstallValues, DeploymentValuesFollowTheSevenInOrder) {
    const auto values =
        Build("Aurora", "C:\\P\\Aurora\\UNINSTAL.EXE", "C:\\W\\Aurora.scr", "3.4.5.6", 2049);
    std::vector<std::string> names;
    for (const Value& value : values)
        names.push_back(value.name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "DisplayName", "UninstallString", "InstallLocation", "DisplayIcon",
                         "Publisher", "VersionMajor", "VersionMinor", "QuietUninstallString",
                         "DisplayVersion", "EstimatedSize", "NoModify", "NoRepair"}));
    const auto named = ByName(values);
    // The removal that asks nothing: the quoted uninstaller, as UninstallString has it, and the
    // uninstaller's switch for silence; a plain string, so that nothing in it is expanded.
    EXPECT_EQ(named.at("QuietUninstallString").type, kRegSz);
    EXPECT_EQ(Text(named.at("QuietUninstallString").data),
              Text(named.at("UninstallString").data) + " /s");
    EXPECT_EQ(named.at("DisplayVersion").type, kRegSz);
    EXPECT_EQ(Text(named.at("DisplayVersion").data), "3.4.5.6");
    EXPECT_EQ(named.at("EstimatedSize").type, kRegDword);
    EXPECT_EQ(Number(named.at("EstimatedSize").data), 3u); // 2049 bytes: three kilobytes begun
    for (const char* flag : {"NoModify", "NoRepair"}) {
        EXPECT_EQ(named.at(flag).type, kRegDword) << flag;
        EXPECT_EQ(Number(named.at(flag).data), 1u) << flag;
    }
}

TEST(UninstallValues, NoDisplayVersionWithoutAVersion) {
    for (const char* version : {static_cast<const char*>(nullptr), ""}) {
        const auto named =
            ByName(Build("Aurora", "C:\\P\\UNINSTAL.EXE", "C:\\W\\A.scr", version, 0));
        EXPECT_EQ(named.count("DisplayVersion"), 0u);
        EXPECT_EQ(named.size(), 11u);
    }
}

TEST(UninstallValues, EstimatedSizeIsKilobytesRoundedUp) {
    const std::pair<uint32_t, uint32_t> sizes[] = {
        {0, 0}, {1, 1}, {1024, 1}, {1025, 2}, {0xFFFFFFFFu, 0x400000u}};
    for (const auto& [bytes, kilobytes] : sizes) {
        const auto named = ByName(Build("A", "C:\\P\\UNINSTAL.EXE", "C:\\W\\A.scr", "1", bytes));
        EXPECT_EQ(Number(named.at("EstimatedSize").data), kilobytes) << bytes;
    }
}

TEST(UninstallValues, QuietUninstallStringOfTheLongestPathIsNotCut) {
    const std::string uninstaller = "C:\\" + std::string(243, 'f') + "\\UNINSTAL.EXE"; // 259
    const auto named = ByName(Build("b", uninstaller.c_str(), "C:\\s.scr", "1", 1));
    EXPECT_EQ(Text(named.at("QuietUninstallString").data), "\"" + uninstaller + "\" /s");
}

} // namespace
