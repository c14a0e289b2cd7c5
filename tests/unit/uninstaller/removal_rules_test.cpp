#include "uninstaller/removal_rules.h"

#include "install/folder_securing.h"
#include "install/name_safety.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kFolder[] = "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\";
constexpr char kScreenSaver[] = "C:\\windows\\Aurora.scr";

OwnFolder Own(const std::string& module = std::string(kFolder) + "UNINSTAL.EXE") {
    OwnFolder own;
    EXPECT_TRUE(FindOwnFolder(module, &own)) << module;
    return own;
}

LogEntry Classify(const std::string& line, const OwnFolder& own = Own()) {
    return ClassifyLogEntry(line, own, kScreenSaver);
}

TEST(FindOwnFolder, SplitsTheInstalledPathIntoFolderNameAndLevels) {
    const OwnFolder own = Own();
    EXPECT_STREQ(own.folder, kFolder);
    EXPECT_STREQ(own.file_name, "UNINSTAL.EXE");
    EXPECT_STREQ(own.base_name, "Aurora");
    EXPECT_EQ(std::string(own.folder, own.product_level_end),
              "C:\\ProgramData\\Tarrowby\\Lumenvault\\");
    EXPECT_EQ(std::string(own.folder, own.publisher_level_end), "C:\\ProgramData\\Tarrowby\\");

    const OwnFolder fallback =
        Own("c:\\WINDOWS\\All Users\\Application Data\\TARROWBY\\lumenvault\\Aurora 2.0\\"
            "uninstal.exe");
    EXPECT_STREQ(fallback.base_name, "Aurora 2.0");
    EXPECT_EQ(std::string(fallback.folder, fallback.publisher_level_end),
              "c:\\WINDOWS\\All Users\\Application Data\\TARROWBY\\");
    EXPECT_STREQ(Own("\\\\server\\share\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE").folder,
                 "\\\\server\\share\\Tarrowby\\Lumenvault\\Aurora\\");
}

// The levels whose owners the uninstaller judges: its three, never the system's folder above
// (C:\ProgramData lets Users add files; its rules are not ours to rewrite).
TEST(FindOwnFolder, OwnLevelsAreTarrowbyLumenvaultAndTheScreenSaversFolder) {
    for (const char* path : {"C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE",
                             "c:\\X\\TARROWBY\\lumenvault\\A b\\uninstal.exe"}) {
        const OwnFolder own = Own(path);
        std::vector<std::string> levels;
        ForEachOwnFolderLevel(
            own.folder, OwnLevelsStart(own),
            [](void* context, const char* level) {
                static_cast<std::vector<std::string>*>(context)->push_back(level);
                return true;
            },
            &levels);
        const std::string folder = own.folder;
        ASSERT_EQ(levels.size(), 3u) << path;
        EXPECT_EQ(levels[2], folder.substr(0, folder.size() - 1));
        EXPECT_EQ(levels[1] + "\\" + own.base_name, levels[2]);
        EXPECT_EQ(levels[0], std::string(own.folder, own.publisher_level_end - 1));
    }
}

TEST(FindOwnFolder, RefusesAnyOtherPlace) {
    OwnFolder own;
    for (const char* path : {
             "C:\\Users\\me\\Downloads\\UNINSTAL.EXE",            // a copy started elsewhere
             "C:\\ProgramData\\Lumenvault\\Aurora\\UNINSTAL.EXE", // publisher level missing
             "C:\\Tarrowby\\Lumenvault\\UNINSTAL.EXE",            // no screen saver level
             "C:\\ProgramData\\Tarrowby\\Lumenvault\\..\\UNINSTAL.EXE",
             "C:\\x\\Tarrowby\\Lumenvault\\Aurora\\..\\..\\..\\UNINSTAL.EXE",
             "C:\\ProgramData\\Tarrowby\\Lumenvault\\.\\UNINSTAL.EXE",
             "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\", // no file name
             "C:\\ProgramData\\Tarrowby\\Lumenvault\\a:b\\UNINSTAL.EXE",
             "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora/x\\UNINSTAL.EXE",
             "ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE", // relative
             "C:ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE",
             "\\\\?\\C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE",
             "\\\\.\\C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE",
         })
        EXPECT_FALSE(FindOwnFolder(path, &own)) << path;
    EXPECT_FALSE(FindOwnFolder(std::string(240, 'x') + "\\Tarrowby\\Lumenvault\\A\\U.EXE", &own));
}

TEST(ClassifyLogEntry, TakesTheScreenSaverAndFilesDirectlyInTheOwnFolder) {
    EXPECT_EQ(Classify(kScreenSaver), LogEntry::kScreenSaver);
    EXPECT_EQ(Classify("C:\\WINDOWS\\AURORA.SCR"), LogEntry::kScreenSaver);
    EXPECT_EQ(Classify(std::string(kFolder) + "Aurora.dat"), LogEntry::kOwnFile);
    EXPECT_EQ(Classify(std::string(kFolder) + "JUK_0001.wav"), LogEntry::kOwnFile);
    EXPECT_EQ(Classify("c:\\programdata\\tarrowby\\lumenvault\\aurora\\file0001.mid"),
              LogEntry::kOwnFile);
    EXPECT_EQ(Classify(std::string(kFolder) + "UNINSTAL.EXE"), LogEntry::kUninstaller);
    EXPECT_EQ(Classify(std::string(kFolder) + "uninstal.exe. "), LogEntry::kUninstaller);
    EXPECT_EQ(Classify(std::string(kFolder) + "INSTALL.LOG"), LogEntry::kInstallLog);
}

TEST(ClassifyLogEntry, RefusesEverythingElseATamperedLogMightName) {
    const std::string folder = kFolder;
    for (const std::string& line : {
             std::string("C:\\windows\\system32\\kernel32.dll"),
             std::string("C:\\windows\\Other.scr"),
             std::string("C:\\windows\\Aurora.scr.bak"),
             folder + "..\\Other\\Other.dat",
             folder + "..\\..\\..\\keep.txt",
             folder + "sub\\file.dat",
             folder + "sub/file.dat",
             folder,
             folder + "..",
             folder + ". .",
             folder + "Aurora.dat:secret",
             folder + "*.*",
             folder + "CON",
             folder + "nul.txt",
             folder + "COM1.dat",
             folder + "LPT9",
             folder + "CONIN$",
             folder + "conout$.txt",
             folder + "Clock$.dat",
             folder + "COM\xB9.wav",
             folder + "lpt\xB3 .mid",
             folder + "Aurora\r.dat",
             std::string("C:\\ProgramData\\Tarrowby\\Lumenvault\\Other\\Other.dat"),
             std::string("C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora2\\Aurora.dat"),
             std::string("\\\\?\\C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\Aurora.dat"),
             std::string(""),
             folder + std::string(260, 'a'),
         })
        EXPECT_EQ(Classify(line), LogEntry::kForeign) << line;
    // Names that merely resemble devices are ordinary files.
    EXPECT_EQ(Classify(folder + "CONSOLE.dat"), LogEntry::kOwnFile);
    EXPECT_EQ(Classify(folder + "COM0.dat"), LogEntry::kOwnFile);
    EXPECT_EQ(Classify(folder + "LPT0"), LogEntry::kOwnFile);
}

// The installer and the uninstaller read names by one rule: every folder the installer makes
// for a screen saver is one the uninstaller takes for its own, and a name the installer
// refuses as a device is never taken for a folder, or a file, of ours.
TEST(FindOwnFolder, AgreesWithTheInstallerOnEveryScreenSaverName) {
    for (const char* name :
         {"Aurora",    "CONSOLE", "COM0", "LPT0",    "NUL_",    "Nullsoft", "COM10",
          "CONIN",     "Mr. T",   "CON",  "nul",     "Aux.txt", "CLOCK$",   "conin$",
          "CONOUT$.x", "COM1",    "lpt9", "COM\xB2", "LPT\xB9", "COM\xB4",  "PRN .scr"}) {
        const bool installed = IsSafeBaseName(name);
        OwnFolder own;
        EXPECT_EQ(FindOwnFolder(std::string("C:\\ProgramData\\Tarrowby\\Lumenvault\\") + name +
                                    "\\UNINSTAL.EXE",
                                &own),
                  installed)
            << name;
        EXPECT_EQ(Classify(std::string(kFolder) + name),
                  installed ? LogEntry::kOwnFile : LogEntry::kForeign)
            << name;
    }
}

TEST(ClassifyLogEntry, LettersBeyondAsciiMustMatchExactly) {
    const OwnFolder own = Own("C:\\ProgramData\\Tarrowby\\Lumenvault\\\xC9t\xE9\\UNINSTAL.EXE");
    EXPECT_EQ(Classify("C:\\ProgramData\\Tarrowby\\Lumenvault\\\xC9t\xE9\\x.dat", own),
              LogEntry::kOwnFile);
    EXPECT_EQ(Classify("C:\\ProgramData\\Tarrowby\\Lumenvault\\\xE9t\xE9\\x.dat", own),
              LogEntry::kForeign);
}

TEST(ScreenSaverPathIn, AddsOneBackslashAndRefusesWhatDoesNotFit) {
    char out[kPathSize];
    ASSERT_TRUE(ScreenSaverPathIn("C:\\windows", "Aurora", out, sizeof out));
    EXPECT_STREQ(out, "C:\\windows\\Aurora.scr");
    ASSERT_TRUE(ScreenSaverPathIn("D:\\", "Aurora", out, sizeof out));
    EXPECT_STREQ(out, "D:\\Aurora.scr");
    EXPECT_FALSE(ScreenSaverPathIn("", "Aurora", out, sizeof out));
    EXPECT_FALSE(ScreenSaverPathIn("C:\\windows", std::string(250, 'n').c_str(), out, sizeof out));
    EXPECT_STREQ(out, "");
    char tight[22];
    EXPECT_TRUE(ScreenSaverPathIn("C:\\windows", "Aurora", tight, sizeof tight));
    EXPECT_FALSE(ScreenSaverPathIn("C:\\windows", "Aurora", tight, sizeof tight - 1));
}

TEST(SettingNamesScreenSaver, MatchesTheLongOrShortPathOnly) {
    const char* long_path = "C:\\windows\\Aurora Borealis.scr";
    const char* short_path = "C:\\windows\\AURORA~1.SCR";
    EXPECT_TRUE(SettingNamesScreenSaver("C:\\windows\\AURORA~1.SCR", long_path, short_path));
    EXPECT_TRUE(
        SettingNamesScreenSaver(" c:\\windows\\aurora borealis.scr ", long_path, short_path));
    EXPECT_FALSE(SettingNamesScreenSaver("C:\\windows\\Mystify.scr", long_path, short_path));
    EXPECT_FALSE(SettingNamesScreenSaver("", long_path, ""));
    EXPECT_FALSE(SettingNamesScreenSaver("C:\\windows\\AURORA~1.SCR", long_path, ""));
}

TEST(UninstallCommandRunsFrom, AcceptsOurProgramQuotedOrBare) {
    const OwnFolder own = Own();
    const std::string program = std::string(kFolder) + "UNINSTAL.EXE";
    EXPECT_TRUE(UninstallCommandRunsFrom(program, own));
    EXPECT_TRUE(UninstallCommandRunsFrom("\"" + program + "\"", own));
    EXPECT_TRUE(UninstallCommandRunsFrom("\"" + program + "\" /s", own));
    EXPECT_TRUE(UninstallCommandRunsFrom(program + " /s", own));
    const OwnFolder spaced = Own("C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora 2.0\\UNINSTAL.EXE");
    EXPECT_TRUE(UninstallCommandRunsFrom(
        "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora 2.0\\UNINSTAL.EXE", spaced));
}

TEST(UninstallCommandRunsFrom, RefusesOtherProgramsOfTheSameName) {
    const OwnFolder own = Own();
    for (const char* command : {
             "C:\\Program Files\\Aurora Player\\uninstall.exe",
             "MsiExec.exe /X{12345678-1234-1234-1234-123456789012}",
             "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\sub\\UNINSTAL.EXE",
             "\"C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE",
             "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\",
             "",
         })
        EXPECT_FALSE(UninstallCommandRunsFrom(command, own)) << command;
}

} // namespace
