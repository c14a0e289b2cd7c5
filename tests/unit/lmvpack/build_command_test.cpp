// lmvpack build as CI sees it (--json) and where it writes: the output's folder is made ready,
// or refused, before any member is compressed.
#include "lmvpack_runner.h"

#include "../support/test_bytes.h"

#include <nlohmann/json.hpp>

namespace {

using namespace lmvpack_test;

void WriteMembers(const ScratchFolder& folder) {
    WriteText(folder / "s.scr", ProgramText(std::string(3000, 's')));
    WriteText(folder / "s.dat", "data");
    WriteText(folder / "u.exe", ProgramText("uninstaller"));
}

const std::string kMembers = "screensaver = \"s.scr\"\ndata = \"s.dat\"\nuninstaller = \"u.exe\"\n";

TEST(BuildCommand, JsonGivesEveryProblemAndWarningAsAnObjectInLineOrder) {
    ScratchFolder folder;
    WriteMembers(folder);
    WriteText(folder / "m.toml", "name = \"Rain Screen Saver\"\ntop_color = \"red\"\n"
                                 "screensaver = \"s.scr\"\ndata = \"gone.dat\"\n"
                                 "uninstaller = \"u.exe\"\ncolour = 1\n");
    const RunResult build = RunLmvpack(
        folder.path(), {"build", "m.toml", "-o", "out.exe", "--stub", "/nonexistent", "--json"});
    EXPECT_EQ(build.status, 2);
    EXPECT_EQ(build.err, "");
    const nlohmann::json report = nlohmann::json::parse(build.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << build.out;
    EXPECT_EQ(report["ok"], false);
    EXPECT_TRUE(report["installer"].is_null());
    const nlohmann::json& found = report["diagnostics"];
    ASSERT_EQ(found.size(), 4u) << found.dump(2);
    const std::vector<std::pair<std::string, int>> expected = {
        {"warning", 1}, {"error", 2}, {"error", 4}, {"error", 6}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(found[i]["severity"], expected[i].first) << found[i];
        EXPECT_EQ(found[i]["line"], expected[i].second) << found[i];
        EXPECT_EQ(found[i]["file"], "m.toml") << found[i];
    }
    EXPECT_EQ(found[1]["key"], "top_color");
    EXPECT_NE(found[1]["message"].get<std::string>().find("#RRGGBB"), std::string::npos);
    EXPECT_EQ(found[3]["key"], "colour");
    EXPECT_FALSE(fs::exists(folder / "out.exe"));

    // A syntax error carries its column; a failure outside the manifest has no line.
    WriteText(folder / "bad.toml", "name = \"A\"\ntop_color = red\n");
    const nlohmann::json syntax = nlohmann::json::parse(
        RunLmvpack(folder.path(), {"build", "bad.toml", "-o", "out.exe", "--json"}).out);
    EXPECT_EQ(syntax["diagnostics"][0]["line"], 2);
    EXPECT_EQ(syntax["diagnostics"][0]["column"], 13);
    EXPECT_FALSE(syntax["diagnostics"][0].contains("key"));

    WriteText(folder / "m.toml", "name = \"A\"\n" + kMembers);
    const RunResult no_stub = RunLmvpack(
        folder.path(), {"build", "m.toml", "-o", "out.exe", "--stub", "missing.exe", "--json"});
    EXPECT_EQ(no_stub.status, 2);
    const nlohmann::json stub_report = nlohmann::json::parse(no_stub.out);
    ASSERT_EQ(stub_report["diagnostics"].size(), 1u);
    EXPECT_FALSE(stub_report["diagnostics"][0].contains("line"));
    EXPECT_NE(stub_report["diagnostics"][0]["message"].get<std::string>().find("missing.exe"),
              std::string::npos);
}

TEST(BuildCommand, JsonDescribesTheInstallerBuilt) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteMembers(folder);
    WriteText(folder / "m.toml", "name = \"A\"\n" + kMembers);
    const RunResult build = RunLmvpack(
        folder.path(), {"build", "m.toml", "-o", "out.exe", "--stub", stub.string(), "--json"});
    ASSERT_EQ(build.status, 0) << build.err;
    EXPECT_EQ(build.err, ""); // no progress bar, no summary lines
    const nlohmann::json report = nlohmann::json::parse(build.out);
    EXPECT_EQ(report["ok"], true);
    EXPECT_TRUE(report["diagnostics"].empty());
    EXPECT_EQ(report["installer"]["path"], "out.exe");
    EXPECT_EQ(report["installer"]["size"], fs::file_size(folder / "out.exe"));
    const nlohmann::json& members = report["installer"]["members"];
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0]["key"], "screensaver");
    EXPECT_EQ(members[0]["size"], ProgramText(std::string(3000, 's')).size());
    EXPECT_EQ(members[0]["compressed"], true); // 3000 equal bytes shrink
    EXPECT_LT(members[0]["stored_size"].get<uint64_t>(), 3000u);
    EXPECT_EQ(members[1]["compressed"], false);
}

TEST(BuildCommand, MakesTheOutputFolderOrRefusesItBeforeCompressing) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteMembers(folder);
    WriteText(folder / "m.toml", "name = \"A\"\n" + kMembers);
    const auto build = [&](const std::string& output) {
        return RunLmvpack(folder.path(),
                          {"build", "m.toml", "-o", output, "--stub", stub.string(), "-q"});
    };
    // A missing folder is made, as extract makes its own.
    const RunResult nested = build("dist/win32/Setup.exe");
    EXPECT_EQ(nested.status, 0) << nested.err;
    EXPECT_TRUE(fs::is_regular_file(folder / "dist/win32/Setup.exe"));

    // A folder given as the output, a file standing where the folder should be, and a folder
    // that takes no files: each refused in one line, nothing left behind.
    WriteText(folder / "notes.txt", "x");
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"dist", "is a folder"},
        {"notes.txt/Setup.exe", "is a file, not a folder"},
        {"/proc/lmvpack-Setup.exe", "cannot write into this folder"}};
    for (const auto& [output, words] : refusals) {
        const RunResult refused = build(output);
        EXPECT_EQ(refused.status, 2) << output;
        EXPECT_NE(refused.err.find(words), std::string::npos) << output << ": " << refused.err;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    }
    EXPECT_EQ(ReadText(folder / "notes.txt"), "x");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder / "dist"))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"win32"}); // no probe or temporary files
}

// A build stopped by Ctrl-C or SIGTERM while it compresses: lmvpack ends by the signal, and
// neither the temporary folder nor the output's folder keeps a file of it.
TEST(BuildCommand, AnInterruptedBuildLeavesNoTemporaryFile) {
    LMV_REQUIRE_STUB(stub);
    ScratchFolder folder;
    WriteMembers(folder);
    WriteBytes(folder / "s.scr", ProgramBytes(RandomBytes(6 << 20, 1)));
    WriteBytes(folder / "noise.wav", RandomBytes(6 << 20, 2));
    WriteText(folder / "m.toml",
              "name = \"A\"\ncompress = true\n" + kMembers + "[[media]]\nfile = \"noise.wav\"\n");
    fs::create_directories(folder / "tmp");
    fs::create_directories(folder / "dist");
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        BackgroundLmvpack lmvpack(folder.path(),
                                  {"build", "m.toml", "-o", "dist/Setup.exe", "--stub",
                                   stub.string(), "--level", "best", "-j", "2", "-q"},
                                  {{"TMPDIR", (folder / "tmp").string()}});
        ASSERT_TRUE(lmvpack.WaitUntil([&] { return !fs::is_empty(folder / "tmp"); }, 30))
            << ReadText(folder / ".err");
        lmvpack.Signal(signal);
        const int raw = lmvpack.Wait(30);
        EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << raw;
        for (const fs::path& place : {folder / "tmp", folder / "dist"})
            for (const auto& entry : fs::directory_iterator(place))
                ADD_FAILURE() << "left behind: " << entry.path();
    }
}

} // namespace
