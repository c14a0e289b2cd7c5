// The authoring tool over the damaged installers: lmvpack list, verify and extract end with
// status 0 or 1, say why on stderr when they refuse, never trip a sanitizer (the sanitize
// preset builds the tool with them), and extract writes plain files into its folder only.
#include "robustness/damaged_installers.h"
#include "support/synthetic_pe.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string output;
    std::string errors;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// Runs lmvpack with the sanitizers' own exit codes set apart from the tool's 0, 1 and 2.
// `limits` are shell commands run first (ulimit).
ToolRun RunTool(const std::string& arguments, const fs::path& scratch,
                const std::string& limits = "") {
    const fs::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    const std::string command = limits + "ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=87 " +
                                Quoted(LMV_LMVPACK_PATH) + " " + arguments + " >" +
                                Quoted(out.string()) + " 2>" + Quoted(err.string());
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.output = ReadText(out);
    run.errors = ReadText(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

void ExpectCleanEnd(const ToolRun& run, const std::string& command) {
    SCOPED_TRACE(command);
    EXPECT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status << "\n"
                                                    << run.errors;
    EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
    // A refusal says why: on stderr, or for verify in its report of each member.
    if (run.status == 1) {
        EXPECT_TRUE(run.errors.find("lmvpack " + command + ":") != std::string::npos ||
                    (command == "verify" && run.output.find("FAIL") != std::string::npos))
            << run.output << run.errors;
    }
}

struct ToolResults {
    ToolRun list, verify, extract;
    std::vector<fs::path> extracted; // everything the extract left in its folder
};

ToolResults RunAllCommands(const DamagedInstaller& installer) {
    const std::string path = WriteTempFile(installer.name + ".exe", installer.bytes);
    const fs::path scratch = fs::path(path).parent_path() / (installer.name + ".tool");
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const fs::path folder = scratch / "extracted";
    ToolResults results;
    results.list = RunTool("list " + Quoted(path), scratch);
    results.verify = RunTool("verify " + Quoted(path), scratch);
    results.extract =
        RunTool("extract -q " + Quoted(path) + " -o " + Quoted(folder.string()), scratch);
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch))
        EXPECT_EQ(entry.path(), folder) << "extract wrote beside its folder";
    if (fs::exists(folder))
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            results.extracted.push_back(entry.path());
    return results;
}

bool ToolPresent() {
    return fs::exists(LMV_LMVPACK_PATH);
}

TEST(LmvpackOnDamagedInstallers, TheGoodInstallerListsVerifiesAndExtractsByteForByte) {
    if (!ToolPresent()) GTEST_SKIP() << "lmvpack not built";
    const GoodInstaller good = BuildGoodInstaller();
    const ToolResults results = RunAllCommands(Undamaged(good));
    EXPECT_EQ(results.list.status, 0) << results.list.errors;
    EXPECT_NE(results.list.output.find("Aurora Drift"), std::string::npos);
    EXPECT_EQ(results.verify.status, 0) << results.verify.output;
    EXPECT_EQ(results.extract.status, 0) << results.extract.errors;
    ASSERT_EQ(results.extracted.size(), good.members.size());
    const char* names[] = {"Aurora Drift.scr", "Aurora Drift.dat", "UNINSTAL.EXE", "JUK_0001.mid",
                           "JUK_0002.wav"};
    for (size_t i = 0; i < good.members.size(); ++i) {
        const fs::path file = results.extracted.front().parent_path() / names[i];
        const std::string text = ReadText(file);
        EXPECT_TRUE(std::vector<uint8_t>(text.begin(), text.end()) == good.members[i].content)
            << names[i];
    }
}

TEST(LmvpackOnDamagedInstallers, EveryCommandEndsWithTheDocumentedResult) {
    if (!ToolPresent()) GTEST_SKIP() << "lmvpack not built";
    for (const DamagedInstaller& installer : MakeDamagedInstallers(BuildGoodInstaller())) {
        SCOPED_TRACE(installer.name);
        const ToolResults results = RunAllCommands(installer);
        ExpectCleanEnd(results.list, "list");
        ExpectCleanEnd(results.verify, "verify");
        ExpectCleanEnd(results.extract, "extract");
        // The tool reads the table as the installer does: whatever the installer's own size
        // sum refuses, list refuses, and nothing verifies or extracts from it.
        EXPECT_EQ(results.list.status == 0, installer.total.has_value());
        if (!installer.total) {
            EXPECT_EQ(results.verify.status, 1);
            EXPECT_EQ(results.extract.status, 1);
            EXPECT_TRUE(results.extracted.empty());
        }
        // extract refuses every member that verify finds wanting; beyond that only what the
        // host's file system refuses (a 259-character name plus ".scr" is too long for it).
        if (results.verify.status == 1) {
            EXPECT_EQ(results.extract.status, 1);
        }
        if (results.extract.status == 1 && results.verify.status == 0) {
            EXPECT_NE(results.extract.errors.find("cannot create a file there"), std::string::npos)
                << results.extract.errors;
        }
        for (const fs::path& file : results.extracted)
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file))) << file;
    }
}

// Damage that the installer passes over silently (it copies what the file holds, or decodes
// zero bits) but where the table and the file disagree: verify must report it.
TEST(LmvpackOnDamagedInstallers, VerifyFailsWhereTheTableAndTheFileDisagree) {
    if (!ToolPresent()) GTEST_SKIP() << "lmvpack not built";
    const GoodInstaller good = BuildGoodInstaller();
    std::vector<std::string> must_fail = {
        "member0-offset-past-end",        "member1-offset-past-end",
        "member0-offset-into-header",     "member1-offset-into-table",
        "unpacked-size-ffffffff",         "unpacked-size-80000000",
        "first-member-stored-size-4-gib", "compressed-stored-size-2-gib"};
    for (size_t i = 0; i < good.members.size(); ++i)
        must_fail.push_back(
            "cut-member" + std::to_string(i) + "-data-at-" +
            std::to_string(good.members[i].data_offset + good.members[i].stored_size / 2));
    size_t found = 0;
    for (const DamagedInstaller& installer : MakeDamagedInstallers(good)) {
        if (std::find(must_fail.begin(), must_fail.end(), installer.name) == must_fail.end())
            continue;
        ++found;
        SCOPED_TRACE(installer.name);
        const ToolResults results = RunAllCommands(installer);
        EXPECT_EQ(results.verify.status, 1) << results.verify.output;
        EXPECT_NE(results.verify.output.find("FAIL"), std::string::npos);
    }
    EXPECT_EQ(found, must_fail.size());
}

// Faults of lmvpack that these installers found; the tests keep them fixed.

// A 9 KB installer whose compressed member of 367 stored bytes declares 1 GiB: verify used
// to decode a whole gigabyte twice (2 minutes, 2 GB of memory, a 1 GB temporary file) before
// it reported what the sizes alone show: a stream cannot restore more than 24 bytes per stored
// byte (a match of at most 30 bytes costs at least 10 bits). The file size limit stands for
// "without restoring it": the tool is killed if it writes 16 MB.
TEST(LmvpackOnDamagedInstallers, AGigabyteFromAShortStreamFailsWithoutBeingRestored) {
    if (!ToolPresent()) GTEST_SKIP() << "lmvpack not built";
    const GoodInstaller good = BuildGoodInstaller();
    DamagedInstaller installer = Undamaged(good);
    installer.name = "unpacked-size-1-gib";
    const uint32_t at = good.members[1].entry_offset + 8;
    for (int i = 0; i < 4; ++i)
        installer.bytes[at + i] = static_cast<uint8_t>(0x40000000u >> (8 * i));
    const std::string path = WriteTempFile(installer.name + ".exe", installer.bytes);
    const fs::path scratch = fs::path(path).parent_path();
    const ToolRun run = RunTool("verify " + Quoted(path), scratch, "ulimit -f 16384; ");
    EXPECT_EQ(run.status, 1) << run.output << run.errors;
    EXPECT_NE(run.output.find("FAIL   1"), std::string::npos) << run.output;
}

// The installer refuses a screen saver name that leaves no room for ".scr" in its 260-byte
// path (PrepareInstallNames), so nothing of such a package installs; verify must not call it
// whole.
TEST(LmvpackOnDamagedInstallers, VerifyFailsANameTheInstallerRefuses) {
    if (!ToolPresent()) GTEST_SKIP() << "lmvpack not built";
    for (const DamagedInstaller& installer : MakeDamagedInstallers(BuildGoodInstaller())) {
        if (installer.name != "screen-saver-name-without-nul") continue;
        const ToolResults results = RunAllCommands(installer);
        EXPECT_EQ(results.verify.status, 1) << results.verify.output;
    }
}

} // namespace
