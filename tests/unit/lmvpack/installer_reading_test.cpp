// list, info, verify and extract on files that are not installers, on damaged installers and
// on hostile ones: a one-line error and exit status 1, never a crash, never a write outside
// the target folder.
#include "lmvpack_runner.h"

#include "../support/synthetic_pe.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <nlohmann/json.hpp>

#include <set>

namespace {

using namespace lmvpack_test;

const std::vector<std::string> kReadingCommands = {"list", "info", "verify", "extract"};

RunResult RunReading(const ScratchFolder& folder, const std::string& command,
                     const fs::path& installer) {
    if (command == "extract")
        return RunLmvpack(folder.path(), {command, installer.string(), "-o", "out"});
    return RunLmvpack(folder.path(), {command, installer.string()});
}

// lmvpack try on a machine without Wine: what it says before it would need Wine.
RunResult RunTryWithoutWine(const ScratchFolder& folder, const fs::path& installer) {
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", "/nonexistent", 1);
    RunResult result = RunLmvpack(folder.path(), {"try", installer.string()});
    ::setenv("PATH", path.c_str(), 1);
    return result;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

TestPackage GoodPackage() {
    TestPackage package;
    package.members = {{Bytes("screen saver"), 0, "", ' '},
                       {Bytes("data file"), 0, "", ' '},
                       {Bytes("uninstaller"), 0, "", ' '},
                       {Bytes("media one"), 0, ".MID", ' '}};
    return package;
}

TEST(InstallerReading, RefusesFilesThatAreNoInstallersWithOneLineAndStatus1) {
    ScratchFolder folder;
    SyntheticPe no_rsrc;
    no_rsrc.sections = {".text", ".data"};
    const std::vector<uint8_t> good = ReadBytes(WriteSyntheticInstaller("good.exe", GoodPackage()));
    const uint32_t package_offset = BuildSyntheticPe({}).package_offset;

    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
        {"empty", {}},
        {"text", Bytes("just some text, not a program\n")},
        {"elf", Bytes("\x7F"
                      "ELF\x02\x01\x01" +
                      std::string(200, '\0'))},
        {"no-rsrc", BuildSyntheticPe(no_rsrc).bytes},
    };
    // Cut short inside the PE headers, the resource directory, at the package start, inside
    // the package header and inside the member table.
    for (const size_t cut :
         {size_t{40}, size_t{200}, size_t{package_offset - 20}, size_t{package_offset},
          size_t{package_offset + 100}, size_t{package_offset + 278 + 30}})
        inputs.push_back(
            {"cut-" + std::to_string(cut),
             std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut))});

    for (const auto& [label, bytes] : inputs) {
        const fs::path path = folder / (label + ".exe");
        WriteBytes(path, bytes);
        for (const std::string& command : kReadingCommands) {
            const RunResult result = RunReading(folder, command, path);
            EXPECT_EQ(result.status, 1) << command << " on " << label << ": " << result.err;
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
                << command << " on " << label << ": " << result.err;
            EXPECT_NE(result.err.find(path.string()), std::string::npos) << result.err;
        }
    }
    EXPECT_FALSE(fs::exists(folder / "out") && !fs::is_empty(folder / "out"));
    EXPECT_EQ(RunLmvpack(folder.path(), {"list", "does-not-exist.exe"}).status, 1);
}

// A Windows program whose first resource is no package (the sample's own aurora.scr, or one
// made here that reads like it: a name without its end, members that lie nowhere) is not an
// installer to any reading command, nor to try; damaged installers still read (the tests below
// and tests/unit/robustness keep that).
TEST(InstallerReading, AProgramWithResourcesIsNotABuiltInstaller) {
    ScratchFolder folder;
    SyntheticPe layout;
    layout.first_type_named = false; // an icon first
    std::vector<uint8_t> bytes = BuildSyntheticPe(layout).bytes;
    bytes.insert(bytes.end(), {0, 0});    // no agreement
    bytes.insert(bytes.end(), 260, 0xFF); // a name without its end
    bytes.insert(bytes.end(), 16, 0);     // flags and colours
    for (const uint32_t offset : {9000000u, 4u, 70000u, 12u, 0x41414141u}) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(offset >> (8 * i)));
        bytes.insert(bytes.end(), {0x10, 0x20, 0, 0}); // a stored size
        bytes.insert(bytes.end(), 20, 0x33);
    }
    bytes.insert(bytes.end(), 28 + 500, 0);
    std::vector<fs::path> programs = {folder / "resources.exe", folder / "short_name.exe"};
    WriteBytes(programs[0], bytes);
    // A terminated name and two members, the first far beyond the end of the file and the
    // second back at its start: what the sample's 8-bit icon reads as.
    bytes = BuildSyntheticPe(layout).bytes;
    bytes.insert(bytes.end(), {0, 0});
    bytes.insert(bytes.end(), {0xFF, 0});
    bytes.insert(bytes.end(), 258 + 16, 3);
    for (const uint32_t offset : {67372036u, 0u}) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(offset >> (8 * i)));
        bytes.insert(bytes.end(), {0x10, 0x20, 0, 0});
        bytes.insert(bytes.end(), 20, 0x33);
    }
    bytes.insert(bytes.end(), 28 + 500, 0);
    WriteBytes(programs[1], bytes);
    if (const fs::path stub = RealStub();
        !stub.empty() && fs::exists(stub.parent_path() / "aurora.scr"))
        programs.push_back(stub.parent_path() / "aurora.scr");
    for (const fs::path& program : programs) {
        for (const std::string& command : kReadingCommands) {
            const RunResult result = RunReading(folder, command, program);
            EXPECT_EQ(result.status, 1) << command << " " << program << ": " << result.out;
            EXPECT_NE(result.err.find(program.string() + ": not a built installer"),
                      std::string::npos)
                << command << ": " << result.err;
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
        // try ends at once, before it looks for Wine (which would end it with 3).
        const RunResult tried = RunTryWithoutWine(folder, program);
        EXPECT_EQ(tried.status, 1) << tried.err;
        EXPECT_NE(tried.err.find("not a built installer"), std::string::npos) << tried.err;
    }
    EXPECT_FALSE(fs::exists(folder / "out"));
}

TEST(InstallerReading, TableWithoutTerminatorIsDamage) {
    ScratchFolder folder;
    TestPackage package = GoodPackage();
    std::vector<uint8_t> bytes = ReadBytes(WriteSyntheticInstaller("good.exe", package));
    // Keep the header and two entries: the table runs into the end of the file.
    const uint32_t package_offset = BuildSyntheticPe({}).package_offset;
    bytes.resize(package_offset + 278 + 2 * 28);
    WriteBytes(folder / "cut.exe", bytes);
    const RunResult list = RunLmvpack(folder.path(), {"list", "cut.exe"});
    EXPECT_EQ(list.status, 1);
    EXPECT_NE(list.err.find("terminating entry"), std::string::npos) << list.err;
}

// One member damaged in each way, next to a good one: verify names the bad member, extract
// writes the good members only, and both end with status 1.
TEST(InstallerReading, VerifyAndExtractNameEachDamagedMember) {
    const std::vector<uint8_t> original = Bytes(std::string(3000, 'q') + "tail");
    const std::vector<uint8_t> coded = EncodeStream(original, CompressionLevel::Default);
    struct Damage {
        std::string label;
        std::function<void(TestPackage&)> apply;
        std::function<void(std::vector<uint8_t>&, uint32_t table)> patch;
        std::string words;
    };
    const std::vector<Damage> damages = {
        {"past the end", nullptr,
         [](std::vector<uint8_t>& file, uint32_t) { file.erase(file.end() - 3, file.end()); },
         "past the end"},
        {"huge unpacked size",
         [&](TestPackage& p) {
             p.members[3] = {coded, 0xFFFFFFFFu, ".MID", ' '};
         },
         nullptr, "cannot restore the 4294967295 bytes"},
        // Sizes that could be right, but forty bytes of noise run out long before 900 bytes.
        {"noise stream",
         [&](TestPackage& p) {
             std::vector<uint8_t> noise(40);
             for (size_t i = 0; i < noise.size(); ++i)
                 noise[i] = static_cast<uint8_t>(i * 97 + 13);
             p.members[3] = {noise, 900, ".MID", ' '};
         },
         nullptr, "needs more than its 40 stored bytes"},
        {"offset into the table", nullptr,
         [](std::vector<uint8_t>& file, uint32_t table) {
             file[table + 3 * 28] = static_cast<uint8_t>(table);
             file[table + 3 * 28 + 1] = static_cast<uint8_t>(table >> 8);
             file[table + 3 * 28 + 2] = 0;
             file[table + 3 * 28 + 3] = 0;
         },
         "before the end of the member table"},
    };
    for (const Damage& damage : damages) {
        ScratchFolder folder;
        TestPackage package = GoodPackage();
        if (damage.apply) damage.apply(package);
        std::vector<uint8_t> bytes = ReadBytes(WriteSyntheticInstaller("in.exe", package));
        const uint32_t table = BuildSyntheticPe({}).package_offset + 278;
        if (damage.patch) damage.patch(bytes, table);
        WriteBytes(folder / "in.exe", bytes);

        const RunResult verify = RunLmvpack(folder.path(), {"verify", "in.exe", "--json"});
        EXPECT_EQ(verify.status, 1) << damage.label;
        const nlohmann::json report = nlohmann::json::parse(verify.out, nullptr, false);
        ASSERT_FALSE(report.is_discarded()) << damage.label << ": " << verify.out << verify.err;
        EXPECT_FALSE(report["whole"].get<bool>());
        EXPECT_TRUE(report["members"][0]["whole"].get<bool>()) << damage.label;
        EXPECT_FALSE(report["members"][3]["whole"].get<bool>()) << damage.label;
        EXPECT_NE(report["members"][3]["problem"].get<std::string>().find(damage.words),
                  std::string::npos)
            << damage.label << ": " << report["members"][3]["problem"];

        const RunResult extract = RunLmvpack(folder.path(), {"extract", "in.exe", "-o", "out"});
        EXPECT_EQ(extract.status, 1) << damage.label;
        EXPECT_EQ(ReadText(folder / "out/Aurora.scr"), "screen saver") << damage.label;
        EXPECT_FALSE(fs::exists(folder / "out/FILE0001.MID")) << damage.label;

        // The installer would install such a member "successfully": try refuses it first.
        const RunResult tried = RunTryWithoutWine(folder, folder / "in.exe");
        EXPECT_EQ(tried.status, 1) << damage.label << ": " << tried.err;
        EXPECT_NE(tried.err.find("member 3 (FILE0001.MID) would not install whole: " +
                                 report["members"][3]["problem"].get<std::string>()),
                  std::string::npos)
            << tried.err;
    }
}

TEST(InstallerReading, ExtractNeverWritesOutsideItsFolder) {
    ScratchFolder folder;
    TestPackage package = GoodPackage();
    package.name = "../../evil";
    package.members.push_back({Bytes("escape"), 0, "/../../../x", ' '});
    package.members.push_back({Bytes("escape"), 0, "\\..\\..\\y", ' '});
    package.members.push_back({Bytes("stream"), 0, ".MID:alt", ' '});
    package.members.push_back({Bytes("fine"), 0, ".WAV", '_'});
    WriteBytes(folder / "hostile.exe", ReadBytes(WriteSyntheticInstaller("hostile.exe", package)));
    // A link planted in the target folder under a member's name must not be followed.
    fs::create_directories(folder / "deep/out");
    fs::create_directories(folder / "outside");
    WriteText(folder / "outside/target", "untouched");
    fs::create_symlink(folder / "outside/target", folder / "deep/out/JUK_0005.WAV");

    const RunResult extract =
        RunLmvpack(folder.path(), {"extract", "hostile.exe", "-o", "deep/out"});
    EXPECT_EQ(extract.status, 1);
    EXPECT_NE(extract.err.find("refused"), std::string::npos) << extract.err;
    // Only plain files directly inside the target folder.
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
        const fs::path relative = entry.path().lexically_relative(folder.path());
        if (!entry.is_directory() && relative.begin()->string() != "deep" &&
            relative != "hostile.exe" && relative != "outside/target")
            ADD_FAILURE() << "written outside the target folder: " << relative;
        if (relative.parent_path() == "deep/out") written.push_back(relative.filename().string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"FILE0001.MID", "JUK_0005.WAV", "UNINSTAL.EXE"}));
    EXPECT_EQ(ReadText(folder / "outside/target"), "untouched");
    EXPECT_EQ(ReadText(folder / "deep/out/JUK_0005.WAV"), "fine");
    EXPECT_FALSE(fs::is_symlink(folder / "deep/out/JUK_0005.WAV"));
}

} // namespace

namespace {

using namespace lmvpack_test;

// A bare stub holds nothing to list, verify or extract: every reading command says so in the
// same words, with the same status.
TEST(InstallerReading, EveryCommandGivesABareStubTheSameAnswer) {
    ScratchFolder folder;
    std::vector<fs::path> stubs = {folder / "synthetic.exe"};
    WriteBytes(stubs[0], ReadBytes(WriteSyntheticInstaller("synthetic.exe", TestPackage{})));
    if (const fs::path real = RealStub(); !real.empty()) stubs.push_back(real);
    for (const fs::path& stub : stubs) {
        std::set<std::string> answers;
        for (const std::string& command : kReadingCommands) {
            for (const bool json : {false, true}) {
                if (json && command == "extract") continue;
                std::vector<std::string> arguments = {command, stub.string()};
                if (command == "extract") arguments.insert(arguments.end(), {"-o", "out"});
                if (json) arguments.push_back("--json");
                const RunResult result = RunLmvpack(folder.path(), arguments);
                EXPECT_EQ(result.status, 1) << command << " " << stub;
                EXPECT_EQ(result.out, "") << command;
                const std::string prefix = "lmvpack " + command + ": ";
                ASSERT_TRUE(result.err.starts_with(prefix)) << result.err;
                answers.insert(result.err.substr(prefix.size()));
            }
        }
        ASSERT_EQ(answers.size(), 1u) << stub;
        EXPECT_NE(answers.begin()->find("not a built installer"), std::string::npos)
            << *answers.begin();
        EXPECT_FALSE(fs::exists(folder / "out"));
    }

    // Members, but not the three every installer has: listed, yet not verified.
    TestPackage partial;
    partial.members = {{Bytes("screen saver"), 0, "", ' '}};
    WriteBytes(folder / "partial.exe", ReadBytes(WriteSyntheticInstaller("partial.exe", partial)));
    EXPECT_EQ(RunLmvpack(folder.path(), {"list", "partial.exe"}).status, 0);
    const RunResult verify = RunLmvpack(folder.path(), {"verify", "partial.exe"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("the package holds 1 members"), std::string::npos) << verify.out;
}

// Scripts read list --json and info --json alike: colours as the manifest writes them,
// flags as booleans.
TEST(InstallerReading, ListAndInfoWriteColoursAndFlagsTheSameWay) {
    ScratchFolder folder;
    TestPackage package = GoodPackage();
    package.needs_directx = 2; // any value but 0 asks for DirectX
    package.top_color = 0x00302010;
    package.bottom_color = 0x00C0B0A0;
    package.agreement = "Accept?";
    WriteBytes(folder / "in.exe", ReadBytes(WriteSyntheticInstaller("in.exe", package)));
    const nlohmann::json list =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "in.exe", "--json"}).out);
    const nlohmann::json info =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"info", "in.exe", "--json"}).out);
    for (const nlohmann::json& json : {list, info}) {
        EXPECT_EQ(json["needs_directx"], true) << json;
        EXPECT_EQ(json["top_color"], "#102030") << json;
        EXPECT_EQ(json["bottom_color"], "#A0B0C0") << json;
        EXPECT_EQ(json["name"], "Aurora") << json;
    }
    EXPECT_EQ(info["has_agreement"], true);
    EXPECT_EQ(list["agreement_length"], 7);
}

// The installer itself reads its own file only through a name of at most 255 characters; the
// tool reads an installer wherever it lies, and lists it the same from any path.
TEST(InstallerReading, ListsAnInstallerOnAPathLongerThanTheInstallerCouldUse) {
    ScratchFolder folder;
    TestPackage package = GoodPackage();
    package.agreement = "Terms";
    const std::vector<uint8_t> bytes = ReadBytes(WriteSyntheticInstaller("in.exe", package));
    const fs::path deep = folder / std::string(120, 'd') / std::string(120, 'e');
    fs::create_directories(deep);
    WriteBytes(folder / "near.exe", bytes);
    WriteBytes(deep / "far.exe", bytes);
    const std::string long_path = fs::absolute(deep / "far.exe").string();
    ASSERT_GT(long_path.size(), 255u);

    const RunResult near_run = RunLmvpack(folder.path(), {"list", "near.exe", "--json"});
    const RunResult far_run = RunLmvpack(folder.path(), {"list", long_path, "--json"});
    ASSERT_EQ(near_run.status, 0) << near_run.err;
    ASSERT_EQ(far_run.status, 0) << far_run.err;
    const nlohmann::json near_list = nlohmann::json::parse(near_run.out);
    EXPECT_EQ(nlohmann::json::parse(far_run.out), near_list);
    EXPECT_EQ(near_list["members"].size(), 4u);
    EXPECT_EQ(near_list["agreement_length"], 5);
}

} // namespace
