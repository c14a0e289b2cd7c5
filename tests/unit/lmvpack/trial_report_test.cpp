// What `lmvpack try` reads from a Wine prefix after a trial: Wine's saved registry, the GUI
// driver's log and the files written, on prefixes and logs laid out as Wine and the driver
// write them.
#include "lmvpack_runner.h"

#include "tools/lmvpack/trial/trial_report.h"
#include "tools/lmvpack/trial/wine_registry.h"

#include <thread>

namespace {

using namespace lmvpack_test;

constexpr const char* kSystemRegistry =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n\n"
    "#arch=win32\n\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Aurora] 1796667094\n"
    "#time=1dd867664c8231a\n"
    "\"DisplayName\"=\"Aurora \\\"Nordlicht\\\" \\x00e9t\\x00e9\"\n"
    "\"UninstallString\"=str(2):\"C:\\\\ProgramData\\\\Tarrowby\\\\UNINSTAL.EXE\"\n"
    "\"NoModify\"=dword:00000001\n"
    "@=\"default\"\n"
    "\"Blob\"=hex:01,02,03,\\\n"
    "  04,05\n\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Aurora\\\\Sub] 1\n"
    "\"Deeper\"=\"not a direct subkey\"\n\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Wine Gecko] 1\n"
    "\"DisplayName\"=\"there before\"\n";

TEST(LmvpackWineRegistry, ReadsKeysValuesAndWinesEscapes) {
    const Registry registry = ParseWineRegistry(kSystemRegistry);
    const auto key =
        registry.find("software\\microsoft\\windows\\currentversion\\uninstall\\aurora");
    ASSERT_NE(key, registry.end());
    EXPECT_EQ(key->second.path, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aurora");
    ASSERT_EQ(key->second.values.size(), 5u);
    EXPECT_EQ(DescribeValue(*FindValue(key->second, "displayname")),
              "REG_SZ \"Aurora \\\"Nordlicht\\\" \xC3\xA9t\xC3\xA9\"");
    EXPECT_EQ(FindValue(key->second, "UninstallString")->type, "REG_EXPAND_SZ");
    EXPECT_EQ(FindValue(key->second, "UninstallString")->text,
              "C:\\ProgramData\\Tarrowby\\UNINSTAL.EXE");
    EXPECT_EQ(DescribeValue(*FindValue(key->second, "NoModify")), "REG_DWORD 0x1 (1)");
    EXPECT_EQ(FindValue(key->second, "")->text, "default");
    EXPECT_EQ(FindValue(key->second, "Blob")->bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));

    const std::vector<const RegistryKey*> below =
        SubKeys(registry, "Software\\Microsoft\\Windows\\CurrentVersion\\UNINSTALL");
    ASSERT_EQ(below.size(), 2u); // Aurora and Wine Gecko; Aurora\Sub is one level deeper
    EXPECT_EQ(below[0]->path.substr(below[0]->path.rfind('\\') + 1), "Aurora");
}

// One driver run: the confirmation pressed OK, an unscripted window dismissed, the progress
// dialog, a caption with a Windows-1252 byte (0x92, a right single quote).
constexpr const char* kDriverLog =
    R"({"t":0,"run":0,"event":"start","command":"\"C:\\x\\Setup.exe\""})"
    "\n"
    R"({"t":10,"run":0,"event":"window","id":1,"hwnd":5,"pid":9,"class":"LmvInstallClass","caption":"Aurora","visible":true,"owned":false,"style":0,"rect":[0,0,1,1],"children":[]})"
    "\n"
    R"({"t":20,"run":0,"event":"window","id":2,"hwnd":6,"pid":9,"class":"#32770","caption":"Aurora Screen Saver Installation","visible":false,"owned":true,"style":0,"rect":[0,0,1,1],"children":[]})"
    "\n"
    R"({"t":21,"run":0,"event":"window","id":2,"hwnd":6,"pid":9,"class":"#32770","caption":"Aurora Screen Saver Installation","visible":true,"owned":true,"style":0,"rect":[0,0,1,1],"children":[{"id":1,"visible":true,"class":"Button","text":"OK"},{"id":-1,"visible":true,"class":"Static","text":"This program will install"}]})"
    "\n"
    R"({"t":22,"run":0,"event":"press","id":2,"caption":"Aurora Screen Saver Installation","button":"OK","scripted":true,"found":true})"
    "\n"
    R"({"t":30,"run":0,"event":"window","id":3,"hwnd":7,"pid":9,"class":"#32770","caption":"","visible":true,"owned":true,"style":0,"rect":[0,0,1,1],"children":[{"id":1001,"visible":true,"class":"Static","text":"Aurora"}]})"
    "\n"
    R"({"t":40,"run":0,"event":"window","id":4,"hwnd":8,"pid":9,"class":"#32770","caption":"Author\u0092s note","visible":true,"owned":true,"style":0,"rect":[0,0,1,1],"children":[{"id":2,"visible":true,"class":"Button","text":"Cancel"}]})"
    "\n"
    R"({"t":41,"run":0,"event":"press","id":4,"caption":"Author\u0092s note","button":"Cancel","scripted":false,"found":true})"
    "\n"
    "not json at all\n"
    R"({"t":50,"run":0,"event":"exit","code":4})"
    "\n";

TEST(LmvpackTrialReport, ReadsTheDriversLogAsTheUserSawIt) {
    const DriverOutcome outcome = ParseDriverLog(kDriverLog);
    ASSERT_TRUE(outcome.exit_code);
    EXPECT_EQ(*outcome.exit_code, 4u);
    EXPECT_FALSE(outcome.timed_out);
    ASSERT_EQ(outcome.dialogs.size(), 3u);
    EXPECT_EQ(outcome.dialogs[0].caption, "Aurora Screen Saver Installation");
    EXPECT_EQ(outcome.dialogs[0].texts, std::vector<std::string>{"This program will install"});
    EXPECT_EQ(outcome.dialogs[0].pressed, "OK");
    EXPECT_TRUE(outcome.dialogs[0].scripted);
    EXPECT_EQ(outcome.dialogs[1].caption, "(the progress dialog)");
    EXPECT_EQ(outcome.dialogs[2].caption, "Author\xE2\x80\x99s note");
    EXPECT_FALSE(outcome.dialogs[2].scripted);

    const DriverOutcome stopped = ParseDriverLog(R"({"t":9,"run":0,"event":"timeout"})");
    EXPECT_TRUE(stopped.timed_out);
    EXPECT_FALSE(stopped.exit_code);
}

TEST(LmvpackTrialReport, FindsWhatTheRunWroteAndNothingElse) {
    ScratchFolder folder;
    const fs::path prefix = folder / "prefix";
    const fs::path drive_c = prefix / "drive_c";
    WriteText(drive_c / "windows" / "system.ini", "[boot]\r\nshell=Explorer.exe\r\n");
    WriteText(drive_c / "windows" / "untouched.dll", "old");
    WriteText(drive_c / "lmvpack-try" / "script.txt", "ours");
    WriteText(prefix / "system.reg", kSystemRegistry);
    WriteText(prefix / "user.reg", "[Control Panel\\\\Desktop] 1\n\"ScreenSaveActive\"=\"0\"\n");
    const std::string registry_before = kSystemRegistry;
    const FileSnapshot before = SnapshotFiles(drive_c);
    // Modification times of ext4 and tmpfs are fine-grained, but a changed size is certain.
    WriteText(drive_c / "windows" / "system.ini",
              "[boot]\r\nshell=Explorer.exe\r\nSCRNSAVE.EXE=C:\\WINDOWS\\AURORA~1.SCR\r\n");
    WriteText(drive_c / "windows" / "Aurora.scr", "screen saver");
    WriteText(drive_c / "ProgramData" / "Tarrowby" / "Lumenvault" / "Aurora" / "INSTALL.LOG",
              "C:\\windows\\Aurora.scr\r\nC:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\Caf\xE9."
              "dat\r\n");
    WriteText(drive_c / "lmvpack-try" / "driver.log", kDriverLog);
    std::string registry_after = registry_before;
    registry_after.replace(registry_after.find("dword:00000001"), 14, "dword:00000002");
    WriteText(prefix / "system.reg", registry_after);
    WriteText(prefix / "user.reg", "[Control Panel\\\\Desktop] 1\n\"ScreenSaveActive\"=\"1\"\n");

    const TrialFindings findings =
        ReadFindings(prefix, before, registry_before, kDriverLog, "lmvpack-try");
    ASSERT_EQ(findings.written.size(), 3u);
    EXPECT_EQ(findings.written[0].windows_path,
              "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\INSTALL.LOG");
    EXPECT_EQ(findings.written[1].windows_path, "C:\\windows\\Aurora.scr");
    EXPECT_EQ(findings.written[1].size, 12u);
    EXPECT_EQ(findings.written[2].windows_path, "C:\\windows\\system.ini");
    ASSERT_EQ(findings.install_logs.size(), 1u);
    EXPECT_NE(findings.install_logs[0].second.find("Caf\xC3\xA9.dat"), std::string::npos);
    // Only the key the run changed; the entry that was there before stays out.
    ASSERT_EQ(findings.uninstall.size(), 1u);
    EXPECT_EQ(FindValue(findings.uninstall[0], "NoModify")->text, "2");
    EXPECT_EQ(findings.screen_saver, "C:\\WINDOWS\\AURORA~1.SCR");
    EXPECT_EQ(findings.screen_saving, "1");

    const std::string report = FormatFindings(findings);
    EXPECT_NE(report.find("Exit status: 4\n"), std::string::npos) << report;
    EXPECT_NE(report.find("  C:\\windows\\Aurora.scr  (12 bytes)\n"), std::string::npos) << report;
    EXPECT_NE(report.find("  C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\Caf\xC3\xA9.dat\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\"Author\xE2\x80\x99s note\": Cancel (not a window lmvpack expected)"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("SCRNSAVE.EXE=C:\\WINDOWS\\AURORA~1.SCR; screen saving on"),
              std::string::npos)
        << report;
}

// What an installation added and its removal left, from the three states of a prefix: only
// what the installation changed counts, a value put back as it was is not left, and what Wine
// writes in every session is no one's doing.
TEST(LmvpackTrialReport, NamesWhatTheRemovalLeftOfWhatTheInstallationAdded) {
    const std::string wine_key =
        "[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\{4d36e968-e325-11ce-bfc1-"
        "08002be10318}\\\\0000] 1\n\"DriverDate\"=\"";
    PrefixState before;
    before.files["windows/win.ini"] = {10, {}};
    before.folders = {"ProgramData", "windows"};
    before.machine = ParseWineRegistry(std::string(kSystemRegistry) + "\n" + wine_key + "1\"\n");
    before.user = ParseWineRegistry("[Control Panel\\\\Desktop] 1\n\"ScreenSaveActive\"=\"1\"\n"
                                    "[Software\\\\Tarrowby] 1\n\"Speed\"=\"slow\"\n");

    PrefixState installed = before;
    installed.files["windows/Aurora.scr"] = {12, {}};
    installed.files["windows/system.ini"] = {40, {}};
    installed.files["ProgramData/Tarrowby/Lumenvault/Aurora/Aurora.dat"] = {5, {}};
    installed.files["lmvpack-try/driver.log"] = {99, {}};
    installed.folders = {"ProgramData",
                         "ProgramData/Tarrowby",
                         "ProgramData/Tarrowby/Lumenvault",
                         "ProgramData/Tarrowby/Lumenvault/Aurora",
                         "lmvpack-try",
                         "windows"};
    std::string system_reg = kSystemRegistry;
    system_reg.replace(system_reg.find("dword:00000001"), 14, "dword:00000002");
    installed.machine = ParseWineRegistry(system_reg + "\n" + wine_key + "2\"\n");
    installed.user =
        ParseWineRegistry("[Control Panel\\\\Desktop] 1\n\"ScreenSaveActive\"=\"1\"\n"
                          "[Software\\\\Tarrowby] 1\n\"Speed\"=\"fast\"\n\"Colour\"=\"red\"\n");
    installed.screen_saver = "C:\\windows\\Aurora.scr";

    // A removal that takes the files and the setting but leaves the data folder, one value
    // it added and one it changed, and puts a value back as it was.
    PrefixState removed = installed;
    removed.files.erase("windows/Aurora.scr");
    removed.files["windows/system.ini"] = {20, {}};
    removed.folders = {"ProgramData", "ProgramData/Tarrowby", "lmvpack-try", "windows"};
    removed.files.erase("ProgramData/Tarrowby/Lumenvault/Aurora/Aurora.dat");
    removed.machine = ParseWineRegistry(std::string(kSystemRegistry) + "\n" + wine_key + "3\"\n");
    removed.screen_saver = "";
    EXPECT_EQ(
        LeftBehind(before, installed, removed, "lmvpack-try"),
        (std::vector<std::string>{
            "folder C:\\ProgramData\\Tarrowby",
            "registry value HKEY_CURRENT_USER\\Software\\Tarrowby: Speed = REG_SZ \"fast\"",
            "registry value HKEY_CURRENT_USER\\Software\\Tarrowby: Colour = REG_SZ \"red\""}));

    // A removal that does nothing leaves everything, the setting and the Uninstall value
    // included.
    const std::vector<std::string> all = LeftBehind(before, installed, installed, "lmvpack-try");
    for (const std::string line :
         {"file C:\\windows\\Aurora.scr",
          "file C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\Aurora.dat",
          "folder C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora",
          "registry value HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
          "Uninstall\\Aurora: NoModify = REG_DWORD 0x2 (2)",
          "setting system.ini [boot] SCRNSAVE.EXE=C:\\windows\\Aurora.scr"})
        EXPECT_NE(std::find(all.begin(), all.end(), line), all.end()) << line;
    for (const std::string& line : all)
        EXPECT_TRUE(line.find("system.ini") == std::string::npos || line.starts_with("setting"))
            << line;
    EXPECT_EQ(all.size(), 9u) << ::testing::PrintToString(all);

    EXPECT_EQ(UninstallCommand(installed.machine, "AURORA"),
              "C:\\ProgramData\\Tarrowby\\UNINSTAL.EXE");
    EXPECT_FALSE(UninstallCommand(installed.machine, "Polar Night"));
}

} // namespace
