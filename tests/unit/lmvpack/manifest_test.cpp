// The manifest: what it accepts and how, and that every problem is found before anything is
// written.
#include "lmvpack_runner.h"

#include "tools/lmvpack/manifest/manifest.h"

namespace {

using namespace lmvpack_test;

// Three member files and a manifest made of `keys` plus the three members.
fs::path WriteManifest(const ScratchFolder& folder, const std::string& keys,
                       const std::string& members =
                           "screensaver = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n") {
    for (const char* name : {"s.dat", "a.mid", "b.mid"})
        WriteText(folder / name, "bytes");
    for (const char* name : {"s.scr", "u.exe"})
        WriteText(folder / name, ProgramText("bytes"));
    WriteText(folder / "m.toml", keys + members);
    return folder / "m.toml";
}

std::string AllProblems(const ManifestLoad& load) {
    std::string text;
    for (const std::string& problem : load.problems)
        text += problem + "\n";
    return text;
}

bool Mentions(const ManifestLoad& load, const std::string& key, const std::string& words) {
    for (const std::string& problem : load.problems)
        if (problem.find(key + ":") != std::string::npos &&
            problem.find(words) != std::string::npos)
            return true;
    return false;
}

TEST(Manifest, ReportsEveryProblemAtOnceAndBuildsNothing) {
    ScratchFolder folder;
    WriteText(folder / "empty.dat", "");
    WriteText(folder / "s.scr", ProgramText("x"));
    WriteText(
        folder / "m.toml",
        "name = \"" + std::string(260, 'N') +
            "\"\n"
            "agreement = \"missing.txt\"\n"
            "top_color = \"blue\"\n"
            "first_media_number = 65536\n"
            "colour = 1\n"
            "screensaver = \"s.scr\"\n"
            "data = \"empty.dat\"\n"
            "[[media]]\nfile = \"gone.mid\"\nsuffix = \"1234567890123456\"\nprefix = \"JUNK\"\n"
            "[[media]]\nfile = \"s.scr\"\nsuffix = \"/../x\"\n");
    const ManifestLoad load = LoadManifest(folder / "m.toml");
    EXPECT_FALSE(load.manifest);
    EXPECT_TRUE(Mentions(load, "name", "at most 109 bytes")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "agreement", "does not exist")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "top_color", "#RRGGBB")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "first_media_number", "0 to 65535")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "colour", "unknown key")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "data", "empty")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "media #1 file", "does not exist")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "media #1 suffix", "at most 15 bytes")) << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "media #1 prefix", "\"JUK_\", \"JUKE\" or \"FILE\""))
        << AllProblems(load);
    EXPECT_TRUE(Mentions(load, "media #2 suffix", "path separator")) << AllProblems(load);
    EXPECT_EQ(load.problems.size(), 10u) << AllProblems(load);
    // Each problem names the file and the line of the key.
    EXPECT_NE(AllProblems(load).find("m.toml:3: top_color"), std::string::npos)
        << AllProblems(load);

    const RunResult build =
        RunLmvpack(folder.path(), {"build", "m.toml", "-o", "out.exe", "--stub", "/nonexistent"});
    EXPECT_EQ(build.status, 2);
    EXPECT_NE(build.err.find("10 problems"), std::string::npos) << build.err;
    EXPECT_FALSE(fs::exists(folder / "out.exe"));
}

TEST(Manifest, RefusesNamesThatWouldLeaveTheirFolderOrCannotBeWritten) {
    for (const std::string name :
         {"..", "a\\\\b", "a/b", "C:x", "   ", "CON", "lpt1", "Snow \u2603", "a*b", "NUL.",
          "Aux . .", "com1.txt", "COM\u00B9", "conout$"}) {
        ScratchFolder folder;
        const ManifestLoad load = LoadManifest(WriteManifest(folder, "name = \"" + name + "\"\n"));
        EXPECT_FALSE(load.manifest) << name;
        EXPECT_TRUE(Mentions(load, "name", "")) << name;
    }
}

// Names and suffixes must install under the same name on every Windows: ASCII only (the
// installer reads them in the system's code page), and no dot or blank that Windows would
// drop from the end of a file or folder name. The blanks the installer trims stay allowed.
TEST(Manifest, RefusesNamesThatWouldNotRoundTripOnEveryWindows) {
    ScratchFolder folder;
    const std::string fixed =
        "screensaver = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n";
    struct Case {
        std::string name, suffix, key, words;
    };
    for (const Case& c : std::vector<Case>{
             {"Caf\u00E9", ".MID", "name", "\"\u00E9\" (U+00E9), which is not ASCII"},
             {"\u0416uk", ".MID", "name", "\"\u0416\" (U+0416), which is not ASCII"},
             {"Mr. T.", ".MID", "name", "ends in a dot"},
             {"Aurora.  ", ".MID", "name", "ends in a dot"},
             {"A", ".m\u00EFd", "media #1 suffix", "\"\u00EF\" (U+00EF), which is not ASCII"},
             {"A", ".MID.", "media #1 suffix", "ends in a dot"},
             {"A", ".MID.  ", "media #1 suffix", "ends in a dot"}}) {
        const ManifestLoad load = LoadManifest(
            WriteManifest(folder, "name = \"" + c.name + "\"\n",
                          fixed + "[[media]]\nfile = \"a.mid\"\nsuffix = \"" + c.suffix + "\"\n"));
        EXPECT_FALSE(load.manifest) << c.name << c.suffix;
        EXPECT_TRUE(Mentions(load, c.key, c.words)) << AllProblems(load);
    }
    // Trailing blanks of either are trimmed by the installer, so they stay allowed.
    const ManifestLoad blanks =
        LoadManifest(WriteManifest(folder, "name = \"Mr. T  \"\n",
                                   fixed + "[[media]]\nfile = \"a.mid\"\nsuffix = \".MID  \"\n"));
    ASSERT_TRUE(blanks.manifest) << AllProblems(blanks);
    EXPECT_EQ(blanks.manifest->name, "Mr. T  ");
    EXPECT_EQ(blanks.manifest->members[3].name_suffix, ".MID  ");
}

TEST(Manifest, ConvertsTextsAndColoursToWhatTheInstallerReads) {
    ScratchFolder folder;
    // A byte-order mark, LF, CR LF and a lone CR all end up as CR LF in Windows-1252.
    WriteText(folder / "license.txt", "\xEF\xBB\xBF"
                                      "Caf\xC3\xA9\nline two\r\nthree\rend");
    const ManifestLoad load = LoadManifest(
        WriteManifest(folder, "name = \"Naive  \"\nagreement = \"license.txt\"\n"
                              "top_color = \"#FF8001\"\nbottom_color = \"#00ff00\"\n"));
    ASSERT_TRUE(load.manifest) << AllProblems(load);
    EXPECT_EQ(load.manifest->agreement_text, "Caf\xE9\r\nline two\r\nthree\r\nend");
    EXPECT_EQ(load.manifest->name, "Naive  ");
    EXPECT_EQ(load.manifest->top_color, 0x000180FFu);
    EXPECT_EQ(load.manifest->bottom_color, 0x0000FF00u);
    EXPECT_EQ(load.manifest->first_media_number, 1);
    EXPECT_EQ(load.manifest->members.size(), 3u);
}

TEST(Manifest, ReadsAWindows1252AgreementWhenToldAndRefusesUnwritableUtf8) {
    ScratchFolder folder;
    WriteText(folder / "ansi.txt", "Caf\xE9\n");
    const ManifestLoad ansi = LoadManifest(WriteManifest(
        folder, "name = \"A\"\nagreement = \"ansi.txt\"\nagreement_encoding = \"windows-1252\"\n"));
    ASSERT_TRUE(ansi.manifest) << AllProblems(ansi);
    EXPECT_EQ(ansi.manifest->agreement_text, "Caf\xE9\r\n");

    const ManifestLoad wrong =
        LoadManifest(WriteManifest(folder, "name = \"A\"\nagreement = \"ansi.txt\"\n"));
    EXPECT_TRUE(Mentions(wrong, "agreement", "not valid UTF-8")) << AllProblems(wrong);

    WriteText(folder / "snow.txt", "fine\nsnow \xE2\x98\x83\n");
    const ManifestLoad snow =
        LoadManifest(WriteManifest(folder, "name = \"A\"\nagreement = \"snow.txt\"\n"));
    EXPECT_TRUE(Mentions(snow, "agreement", "line 2")) << AllProblems(snow);
}

TEST(Manifest, AcceptsAnAgreementOfExactly65535BytesAndNoMore) {
    ScratchFolder folder;
    WriteText(folder / "fits.txt", std::string(65535, 'a'));
    EXPECT_TRUE(
        LoadManifest(WriteManifest(folder, "name = \"A\"\nagreement = \"fits.txt\"\n")).manifest);
    // 32768 lines of "a" grow by their CR to 65536 bytes.
    std::string lines;
    for (int i = 0; i < 32767; ++i)
        lines += "a\n";
    lines += "ab";
    WriteText(folder / "grows.txt", lines);
    const ManifestLoad load =
        LoadManifest(WriteManifest(folder, "name = \"A\"\nagreement = \"grows.txt\"\n"));
    EXPECT_TRUE(Mentions(load, "agreement", "65535")) << AllProblems(load);
}

bool Warns(const ManifestLoad& load, const std::string& words) {
    for (const std::string& warning : load.warnings)
        if (warning.find("name:") != std::string::npos && warning.find(words) != std::string::npos)
            return true;
    return false;
}

// Measured under Wine, whose data folder is C:\ProgramData: a name of 109 bytes installs, one
// of 110 leaves the data file without a path (exit status 4). Windows XP's longer data folder
// leaves room for 90.
TEST(Manifest, TakesNamesTheInstallerCanInstallAndWarnsWhereXpCannot) {
    ScratchFolder folder;
    const auto load = [&](const std::string& name) {
        return LoadManifest(WriteManifest(folder, "name = \"" + name + "\"\n"));
    };
    const ManifestLoad longest = load(std::string(109, 'n'));
    EXPECT_TRUE(longest.manifest) << AllProblems(longest);
    EXPECT_TRUE(Warns(longest, "not on Windows XP")) << longest.warnings.size();
    const ManifestLoad too_long = load(std::string(110, 'n'));
    EXPECT_FALSE(too_long.manifest);
    EXPECT_TRUE(Mentions(too_long, "name", "is 110 bytes")) << AllProblems(too_long);
    EXPECT_TRUE(Mentions(too_long, "name", "at most 109 bytes")) << AllProblems(too_long);
    EXPECT_FALSE(load(std::string(256, 'n')).manifest);

    const ManifestLoad for_xp = load(std::string(90, 'n'));
    EXPECT_TRUE(for_xp.manifest);
    EXPECT_TRUE(for_xp.warnings.empty()) << for_xp.warnings.front();
    EXPECT_TRUE(Warns(load(std::string(91, 'n')), "leaves room for 90 bytes"));

    // "é" would be one byte of Windows-1252 and fit, but a name is ASCII only.
    const ManifestLoad accented = load(std::string(108, 'n') + "\u00E9");
    EXPECT_FALSE(accented.manifest);
    EXPECT_TRUE(Mentions(accented, "name", "not ASCII")) << AllProblems(accented);
    // Trailing blanks do not count toward the file name, but the field holds 259 bytes.
    EXPECT_TRUE(load(std::string(109, 'n') + std::string(150, ' ')).manifest);
    EXPECT_FALSE(load(std::string(109, 'n') + std::string(151, ' ')).manifest);
    EXPECT_FALSE(load(". .").manifest);
}

TEST(Manifest, MediaKeepFourDigitNumbersAndDistinctNames) {
    ScratchFolder folder;
    const std::string two_media = "[[media]]\nfile = \"a.mid\"\n[[media]]\nfile = \"b.mid\"\n";
    const std::string fixed =
        "screensaver = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n";
    const ManifestLoad fits = LoadManifest(
        WriteManifest(folder, "name = \"A\"\nfirst_media_number = 9998\n", fixed + two_media));
    ASSERT_TRUE(fits.manifest) << AllProblems(fits);
    EXPECT_EQ(fits.manifest->members[3].name_suffix, ".mid"); // the file's own extension
    EXPECT_EQ(fits.manifest->members[3].prefix_kind, ' ');    // FILE

    const ManifestLoad beyond = LoadManifest(
        WriteManifest(folder, "name = \"A\"\nfirst_media_number = 9999\n", fixed + two_media));
    EXPECT_TRUE(Mentions(beyond, "media", "9999")) << AllProblems(beyond);

    // "FILE0001" + ".DAT" would land on the data file's name: Windows compares without case.
    const ManifestLoad clash =
        LoadManifest(WriteManifest(folder, "name = \"file0001\"\n",
                                   fixed + "[[media]]\nfile = \"a.mid\"\nsuffix = \".DAT\"\n"));
    EXPECT_TRUE(Mentions(clash, "media #1", "same name as data")) << AllProblems(clash);

    // The same file may serve twice.
    const ManifestLoad twice = LoadManifest(
        WriteManifest(folder, "name = \"A\"\n",
                      fixed + "[[media]]\nfile = \"a.mid\"\n[[media]]\nfile = \"a.mid\"\n"));
    EXPECT_TRUE(twice.manifest) << AllProblems(twice);
}

TEST(Manifest, TakesCompressAsAutoTrueOrFalseWithATopLevelDefault) {
    ScratchFolder folder;
    const ManifestLoad load = LoadManifest(
        WriteManifest(folder, "name = \"A\"\ncompress = false\n",
                      "[screensaver]\nfile = \"s.scr\"\ncompress = true\ndata = \"s.dat\"\n"));
    EXPECT_FALSE(load.manifest); // data inside [screensaver] is an unknown key there
    const ManifestLoad good = LoadManifest(WriteManifest(
        folder, "name = \"A\"\ncompress = false\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n",
        "[screensaver]\nfile = \"s.scr\"\ncompress = \"auto\"\n"));
    ASSERT_TRUE(good.manifest) << AllProblems(good);
    EXPECT_EQ(good.manifest->members[0].compress, CompressChoice::Auto);
    EXPECT_EQ(good.manifest->members[1].compress, CompressChoice::Never);
}

TEST(Manifest, ParsesColoursStrictly) {
    EXPECT_EQ(ParseColor("#0000FF"), 0x00FF0000u);
    EXPECT_EQ(ParseColor("#a1B2c3"), 0x00C3B2A1u);
    for (const char* bad : {"0000FF", "#0000F", "#0000FFF", "#GG0000", "#00 000", ""})
        EXPECT_FALSE(ParseColor(bad)) << bad;
}

TEST(Manifest, ReportsTomlSyntaxErrorsWithTheirLine) {
    ScratchFolder folder;
    WriteText(folder / "m.toml", "name = \"A\"\n\ntop_color = \n");
    const ManifestLoad load = LoadManifest(folder / "m.toml");
    ASSERT_EQ(load.problems.size(), 1u);
    EXPECT_NE(load.problems[0].find("m.toml:3"), std::string::npos) << load.problems[0];
}

TEST(Manifest, SaysWhichTableSwallowedAKeyAndWhereTheTableBelongs) {
    ScratchFolder folder;
    // A member turned into a table where it stands: TOML reads every key after it as part
    // of that table.
    const ManifestLoad swallowed = LoadManifest(WriteManifest(
        folder, "name = \"A\"\n",
        "[screensaver]\nfile = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n"));
    EXPECT_FALSE(swallowed.manifest);
    EXPECT_EQ(swallowed.problems.size(), 2u) << AllProblems(swallowed);
    EXPECT_TRUE(Mentions(swallowed, "m.toml:4: data",
                         "move the [screensaver] table to the end of the file"))
        << AllProblems(swallowed);
    EXPECT_TRUE(Mentions(swallowed, "m.toml:5: uninstaller",
                         "move the [screensaver] table to the end of the file"))
        << AllProblems(swallowed);
    // Not reported a second time as missing from the top level.
    EXPECT_EQ(AllProblems(swallowed).find("missing"), std::string::npos) << AllProblems(swallowed);

    const ManifestLoad media = LoadManifest(
        WriteManifest(folder, "",
                      "screensaver = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n"
                      "[[media]]\nfile = \"a.mid\"\nname = \"A\"\n"));
    EXPECT_TRUE(Mentions(media, "name", "move the [[media]] tables to the end of the file"))
        << AllProblems(media);
    EXPECT_EQ(media.problems.size(), 1u) << AllProblems(media);

    // An inline table may stand anywhere; an unknown key in it is an ordinary typing mistake.
    const ManifestLoad inline_table = LoadManifest(
        WriteManifest(folder, "name = \"A\"\n",
                      "screensaver = { file = \"s.scr\", compress = false }\ndata = \"s.dat\"\n"
                      "uninstaller = { file = \"u.exe\", compres = true }\n"));
    EXPECT_TRUE(Mentions(inline_table, "uninstaller.compres", "did you mean \"compress\"?"))
        << AllProblems(inline_table);
    EXPECT_EQ(inline_table.problems.size(), 1u) << AllProblems(inline_table);
}

TEST(Manifest, OrdersProblemsAndWarningsByLine) {
    ScratchFolder folder;
    // Checked in another order than written: members before colours before the name.
    WriteText(folder / "s.scr", ProgramText("x"));
    WriteText(folder / "m.toml", "uninstaller = \"gone.exe\"\n"
                                 "name = \"Aurora Screen Saver\"\n"
                                 "top_color = \"red\"\n"
                                 "screensaver = \"s.scr\"\n"
                                 "data = \"s.scr\"\n"
                                 "[[media]]\nfile = \"s.scr\"\nsuffix = \"MID\"\n"
                                 "compress = 3\n");
    const ManifestLoad load = LoadManifest(folder / "m.toml");
    std::vector<int64_t> lines;
    std::vector<std::string> order;
    for (const ManifestDiagnostic& found : load.diagnostics) {
        lines.push_back(found.line);
        order.push_back(found.key);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"uninstaller", "name", "top_color",
                                               "media #1 suffix", "media #1 compress"}));
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
    // Warnings keep their place among the problems, and the texts follow the same order.
    EXPECT_FALSE(load.diagnostics[1].is_error);
    ASSERT_EQ(load.problems.size(), 3u);
    EXPECT_NE(load.problems[0].find("m.toml:1: uninstaller"), std::string::npos);
    EXPECT_NE(load.problems[2].find("m.toml:9: media #1 compress"), std::string::npos);
}

TEST(Manifest, WarnsWhenTheNameRepeatsWhatTheInstallerAdds) {
    ScratchFolder folder;
    for (const std::string name : {"My Screen Saver", "Aurora screensaver", "Rain Screen-Saver "}) {
        const ManifestLoad load = LoadManifest(WriteManifest(folder, "name = \"" + name + "\"\n"));
        ASSERT_TRUE(load.manifest) << name;
        bool warned = false;
        for (const std::string& warning : load.warnings)
            warned = warned || warning.find("Screen Saver Screen Saver") != std::string::npos ||
                     warning.find("screensaver Screen Saver") != std::string::npos ||
                     warning.find("Screen-Saver Screen Saver") != std::string::npos;
        EXPECT_TRUE(warned) << name;
    }
    for (const std::string name : {"Screens", "Saver of Screens", "Aurora"}) {
        const ManifestLoad load = LoadManifest(WriteManifest(folder, "name = \"" + name + "\"\n"));
        EXPECT_TRUE(load.warnings.empty()) << name << ": " << load.warnings.front();
    }
}

TEST(Manifest, SuggestsSlashesForPathsWrittenTheWindowsWay) {
    ScratchFolder folder;
    WriteText(folder / "music/theme.mid", "x");
    WriteText(folder / "text/licence.txt", "x");
    const std::string fixed =
        "screensaver = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n";
    // Escaped backslashes (or single quotes) reach the tool as backslashes; on Linux they are
    // part of a file name.
    const ManifestLoad escaped = LoadManifest(WriteManifest(
        folder, "name = \"A\"\nagreement = 'text\\licence.txt'\n",
        fixed + "[[media]]\nfile = \"music\\\\theme.mid\"\n[[media]]\nfile = 'music\\none.mid'\n"));
    EXPECT_TRUE(
        Mentions(escaped, "media #1 file", "\"music/theme.mid\" exists: write paths with /"))
        << AllProblems(escaped);
    EXPECT_TRUE(
        Mentions(escaped, "media #2 file", "write paths with / (for example \"music/none.mid\")"))
        << AllProblems(escaped);
    EXPECT_TRUE(Mentions(escaped, "agreement", "\"text/licence.txt\" exists"))
        << AllProblems(escaped);
    // In double quotes "\t" is a tab: the path the tool sees has a control character in it.
    const ManifestLoad tab = LoadManifest(WriteManifest(
        folder, "name = \"A\"\n", fixed + "[[media]]\nfile = \"music\\theme.mid\"\n"));
    EXPECT_TRUE(Mentions(tab, "media #1 file", "escapes for control characters"))
        << AllProblems(tab);
    EXPECT_TRUE(Mentions(tab, "media #1 file", "\"music/theme.mid\" exists")) << AllProblems(tab);
    // A path that is simply wrong gets the plain advice.
    const ManifestLoad wrong = LoadManifest(
        WriteManifest(folder, "name = \"A\"\n", fixed + "[[media]]\nfile = \"music/them.mid\"\n"));
    EXPECT_TRUE(Mentions(wrong, "media #1 file", "relative to the manifest's folder"))
        << AllProblems(wrong);
}

// Each mistake, the words the author gets for it, and the line they point to.
TEST(Manifest, ExplainsTomlSyntaxErrorsInPlainWords) {
    const struct {
        std::string text;
        std::string words;
        int64_t line;
    } cases[] = {
        {"name = Aurora\n", "a text must be in double quotes: name = \"Aurora\"", 2},
        {"top_color = #FF0000\n", "top_color = \"#FF0000\"", 2},
        {"needs_directx = yes\n", "write true or false", 2},
        {"needs_directx = True\n", "write true or false, in lower case", 2},
        {"name = \"Aurora\n", "is not closed", 2},
        {"screensaver = \"C:\\savers\\my.scr\"\n", "write paths with /", 2},
        {"name = \"A\"\nname = \"B\"\n", "name is given twice", 3},
        {"[data]\nfile = \"a\"\n[data]\nfile = \"b\"\n", "[data] appears twice", 4},
        {"[[media]\nfile = \"x\"\n", "a table header is written [name]", 2},
        {"first_media_number = 01\n", "without leading zeros", 2},
        {"name \"Aurora\"\n", "one key, an = and its value", 2},
        {"name = \"A\" extra\n", "one key = value per line", 2},
        {"top_color = \n", "the value after = is missing", 2},
    };
    for (const auto& [text, words, line] : cases) {
        ScratchFolder folder;
        WriteText(folder / "m.toml", "# a comment first\n" + text);
        const ManifestLoad load = LoadManifest(folder / "m.toml");
        ASSERT_EQ(load.problems.size(), 1u) << text;
        const std::string& problem = load.problems[0];
        EXPECT_NE(problem.find("m.toml:" + std::to_string(line) + ":"), std::string::npos)
            << text << problem;
        EXPECT_NE(problem.find("not valid TOML: "), std::string::npos) << problem;
        EXPECT_NE(problem.find(words), std::string::npos) << text << problem;
        EXPECT_EQ(problem.find("Error while parsing"), std::string::npos) << problem;
    }
}

// The screen saver and an author's uninstaller must be programs 32-bit Windows runs: what else
// stands in their place is named; a program for another processor is a warning.
TEST(Manifest, RefusesAScreenSaverOrUninstallerThatIsNoWindowsProgram) {
    std::string x64 = ProgramText("a 64-bit screen saver");
    x64[0x44] = static_cast<char>(0x64); // machine x64
    x64[0x45] = static_cast<char>(0x86);
    x64[0x58] = 0x0B; // PE32+
    x64[0x59] = 0x02;
    const struct {
        std::string content;
        std::string words; // empty: a Windows program that 32-bit Windows runs
    } cases[] = {
        {"just some text\n", "is a text file, not a Windows program"},
        {"version https://git-lfs.github.com/spec/v1\noid sha256:4d7a\nsize 12345\n",
         "is a Git LFS pointer file"},
        {"../../.git/annex/objects/Xk/7F/SHA256E-s1--0f.scr/SHA256E-s1--0f.scr",
         "is a git-annex pointer file"},
        {"MZ" + std::string(200, '\0'), "is a DOS program or a damaged file"},
        {"\x7F"
         "ELF\x01\x01\x01" +
             std::string(100, '\0'),
         "is a Linux program"},
        {ProgramText("fine"), ""},
    };
    for (const auto& [content, words] : cases) {
        for (const std::string key : {"screensaver", "uninstaller"}) {
            ScratchFolder folder;
            WriteManifest(folder, "name = \"A\"\n");
            WriteText(folder / "odd.exe", content);
            const std::string manifest = ReadText(folder / "m.toml");
            const std::string replaced = key == "screensaver" ? "\"s.scr\"" : "\"u.exe\"";
            WriteText(folder / "m.toml",
                      manifest.substr(0, manifest.find(replaced)) + "\"odd.exe\"" +
                          manifest.substr(manifest.find(replaced) + replaced.size()));
            const ManifestLoad load = LoadManifest(folder / "m.toml");
            if (words.empty()) {
                EXPECT_TRUE(load.manifest) << key << AllProblems(load);
                continue;
            }
            EXPECT_TRUE(Mentions(load, key, words)) << key << ": " << AllProblems(load);
            EXPECT_EQ(load.problems.size(), 1u) << AllProblems(load);
        }
    }
    // A data file holds whatever it holds.
    ScratchFolder folder;
    WriteManifest(folder, "name = \"A\"\n");
    WriteText(folder / "s.dat", "plain text");
    EXPECT_TRUE(LoadManifest(folder / "m.toml").manifest);

    WriteText(folder / "s.scr", x64);
    const ManifestLoad wide = LoadManifest(folder / "m.toml");
    ASSERT_TRUE(wide.manifest) << AllProblems(wide);
    ASSERT_EQ(wide.warnings.size(), 1u);
    EXPECT_NE(wide.warnings[0].find("screensaver: \"" + (folder / "s.scr").string() +
                                    "\" is a 64-bit Windows program (x64): 32-bit Windows "
                                    "cannot run it"),
              std::string::npos)
        << wide.warnings[0];
    // For CI: --werror makes that warning stop the build.
    const RunResult strict = RunLmvpack(
        folder.path(), {"build", "m.toml", "-o", "out.exe", "--stub", "/nonexistent", "--werror"});
    EXPECT_EQ(strict.status, 2);
    EXPECT_NE(strict.err.find("error: m.toml:2: screensaver:"), std::string::npos) << strict.err;
    EXPECT_NE(strict.err.find("1 problem in the manifest; nothing was written"), std::string::npos)
        << strict.err;
    EXPECT_FALSE(fs::exists(folder / "out.exe"));
}

// -D KEY=VALUE sets or replaces a key before anything is checked: the file's checks apply to
// it, and its findings name the option instead of a line.
TEST(Manifest, TakesKeysFromTheCommandLine) {
    ScratchFolder folder;
    WriteManifest(folder, "name = \"A\"\n[[media]]\nfile = \"a.mid\"\n", "");
    const std::string members =
        "screensaver = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n";
    WriteText(folder / "m.toml", "name = \"A\"\n" + members + "[[media]]\nfile = \"a.mid\"\n");
    fs::create_directories(folder / "elsewhere");
    WriteText(folder / "elsewhere" / "other.scr", ProgramText("another screen saver"));
    const fs::path cwd = fs::current_path();
    fs::current_path(folder / "elsewhere"); // a path in -D is the command line's
    const ManifestLoad load =
        LoadManifest(folder / "m.toml", true,
                     {"version.product=Aurora", "version.version=1.2.3.4", "top_color=#102030",
                      "needs_directx=true", "first_media_number=7", "uninstaller.compress=false",
                      "media.1.suffix=.WAV", "screensaver=other.scr", "name=Aurora Borealis"});
    fs::current_path(cwd);
    ASSERT_TRUE(load.manifest) << AllProblems(load);
    const Manifest& manifest = *load.manifest;
    ASSERT_TRUE(manifest.version);
    EXPECT_EQ(manifest.version->version, "1.2.3.4");
    EXPECT_EQ(manifest.name, "Aurora Borealis");
    EXPECT_EQ(manifest.top_color, 0x302010u);
    EXPECT_TRUE(manifest.needs_directx);
    EXPECT_EQ(manifest.first_media_number, 7);
    EXPECT_EQ(manifest.members[0].file, folder / "elsewhere" / "other.scr");
    EXPECT_EQ(manifest.members[2].file, folder / "u.exe"); // a path became a table
    EXPECT_EQ(manifest.members[2].compress, CompressChoice::Never);
    EXPECT_EQ(manifest.members[3].name_suffix, ".WAV");

    const ManifestLoad wrong =
        LoadManifest(folder / "m.toml", true,
                     {"top_colour=#000000", "version.version=1.x", "version.product=A", "name",
                      "media.3.suffix=.MID", "needs_directx=yes", "version=2"});
    EXPECT_FALSE(wrong.manifest);
    const std::vector<std::string> expected = {
        "-D top_colour: unknown key; did you mean \"top_color\"?",
        "-D version.version: \"1.x\" is not a version number",
        "-D name: write -D KEY=VALUE",
        "-D media.3.suffix: the manifest has no [[media]] table number 3 (it has 1)",
        "-D needs_directx: must be true or false",
        "-D version: is a table; set one of its keys"};
    for (const std::string& words : expected)
        EXPECT_NE(AllProblems(wrong).find(words), std::string::npos) << words << "\n"
                                                                     << AllProblems(wrong);
    EXPECT_EQ(wrong.problems.size(), expected.size()) << AllProblems(wrong);

    // The command line: repeatable, and what it set is what the installer carries.
    LMV_REQUIRE_STUB(stub);
    const RunResult build = RunLmvpack(
        folder.path(), {"build", "m.toml", "-o", "out.exe", "--stub", stub.string(), "-q", "-D",
                        "version.product=Aurora", "-D", "version.version=1.2.3.4"});
    ASSERT_EQ(build.status, 0) << build.err;
    const RunResult list = RunLmvpack(folder.path(), {"list", "out.exe"});
    EXPECT_NE(list.out.find("version:            1.2.3.4, Aurora"), std::string::npos) << list.out;
}

} // namespace
