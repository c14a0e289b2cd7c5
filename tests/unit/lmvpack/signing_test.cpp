// Signed installers, with a throwaway self-signed certificate made by the test: the signature
// verifies, the package still reads and restores, a changed byte is caught, signing again
// replaces the signature, and the key's password never shows on a command line.
#include "lmvpack_runner.h"

#include "tools/lmvpack/pe/signature_info.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>

namespace {

using namespace lmvpack_test;

bool Installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

#define LMV_REQUIRE_SIGNING_TOOLS()                                                                \
    if (!Installed("osslsigncode") || !Installed("openssl"))                                       \
    GTEST_SKIP() << "osslsigncode or openssl is not installed"

constexpr const char* kPassword = "correct horse";

// A certificate for `name` with its key encrypted under kPassword.
void MakeCertificate(const fs::path& folder, const std::string& name) {
    const std::string command =
        "cd '" + folder.string() +
        "' && openssl req -x509 -newkey rsa:2048 -days 2 -subj '/CN=" + name +
        "/O=Tarrowby Test' -keyout " + name + ".key -out " + name +
        ".pem -passout 'pass:" + kPassword + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// An installer of the real stub with three small members; the uninstaller is a program
// osslsigncode can sign (the stub itself will do).
void BuildInstaller(const fs::path& folder, const fs::path& stub) {
    WriteText(folder / "s.scr", ProgramText(std::string(3000, 'S')));
    WriteText(folder / "s.dat", "data of the screen saver");
    WriteBytes(folder / "u.exe", ReadBytes(stub));
    WriteText(folder / "m.toml", "name = \"Aurora\"\nscreensaver = \"s.scr\"\ndata = \"s.dat\"\n"
                                 "uninstaller = \"u.exe\"\n");
    const RunResult build =
        RunLmvpack(folder, {"build", "m.toml", "-o", "Setup.exe", "--stub", stub.string(), "-q"});
    ASSERT_EQ(build.status, 0) << build.err;
}

// lmvpack with the password in its environment.
RunResult WithPassword(const fs::path& folder, const std::vector<std::string>& arguments) {
    ::setenv("LMVPACK_KEY_PASSWORD", kPassword, 1);
    RunResult result = RunLmvpack(folder, arguments);
    ::unsetenv("LMVPACK_KEY_PASSWORD");
    return result;
}

std::vector<std::string> SignArguments(const std::string& in, const std::string& out,
                                       const std::string& name) {
    return {"sign", in, "-o", out, "--cert", name + ".pem", "--key", name + ".key"};
}

// The real osslsigncode's path, for a stand-in that hands over to it.
std::string RealOsslsigncode() {
    std::string real = "osslsigncode";
    if (FILE* which = ::popen("command -v osslsigncode", "r")) {
        char line[512] = "";
        if (std::fgets(line, sizeof line, which))
            real = std::string(line, std::strcspn(line, "\n"));
        ::pclose(which);
    }
    return real;
}

// Puts a script named osslsigncode first on PATH for as long as this lives.
class OsslsigncodeStandIn {
  public:
    OsslsigncodeStandIn(const fs::path& folder, const std::string& script)
        : path_(std::getenv("PATH")) {
        fs::create_directories(folder / "bin");
        WriteText(folder / "bin" / "osslsigncode", "#!/bin/sh\n" + script);
        fs::permissions(folder / "bin" / "osslsigncode", fs::perms::owner_all);
        ::setenv("PATH", ((folder / "bin").string() + ":" + path_).c_str(), 1);
    }
    ~OsslsigncodeStandIn() { ::setenv("PATH", path_.c_str(), 1); }

  private:
    std::string path_;
};

// Every file under `folder` whose bytes hold `text`.
std::vector<fs::path> FilesHolding(const fs::path& folder, const std::string& text) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && ReadText(entry.path()).find(text) != std::string::npos)
            found.push_back(entry.path());
    return found;
}

TEST(LmvpackSigning, ASignedInstallerVerifiesListsItsSignerAndKeepsItsPackage) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    const RunResult sign =
        WithPassword(folder.path(), SignArguments("Setup.exe", "Signed.exe", "First"));
    ASSERT_EQ(sign.status, 0) << sign.err;
    EXPECT_NE(sign.out.find("signed by CN=First, O=Tarrowby Test"), std::string::npos) << sign.out;

    const std::vector<uint8_t> plain = ReadBytes(folder / "Setup.exe");
    const std::vector<uint8_t> signed_bytes = ReadBytes(folder / "Signed.exe");
    const SignatureInfo info = ReadSignature(signed_bytes);
    ASSERT_TRUE(info.present);
    EXPECT_EQ(info.problem, "");
    EXPECT_EQ(info.signature_count, 1u);
    // The certificate table follows everything lmvpack wrote; the package bytes are untouched.
    EXPECT_GE(info.table_offset, plain.size());
    EXPECT_TRUE(std::equal(plain.begin() + 0x200, plain.end(), signed_bytes.begin() + 0x200));

    const RunResult verify = RunLmvpack(folder.path(), {"verify", "Signed.exe"});
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find("the signature matches the file"), std::string::npos) << verify.out;
    const RunResult list = RunLmvpack(folder.path(), {"list", "Signed.exe", "--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(nlohmann::json::parse(list.out)["signature"]["signer"], "CN=First, O=Tarrowby Test");
    const RunResult extract = RunLmvpack(folder.path(), {"extract", "Signed.exe", "-o", "out"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadText(folder / "out" / "Aurora.scr"), ProgramText(std::string(3000, 'S')));
    EXPECT_EQ(ReadBytes(folder / "out" / "UNINSTAL.EXE"), ReadBytes(stub));
}

TEST(LmvpackSigning, OneChangedByteOfThePackageFailsVerification) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    ASSERT_EQ(WithPassword(folder.path(), SignArguments("Setup.exe", "Signed.exe", "First")).status,
              0);
    std::vector<uint8_t> bytes = ReadBytes(folder / "Signed.exe");
    const nlohmann::json listing =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "Signed.exe", "--json"}).out);
    // A byte of the data file, a stored member: still a whole package, no longer what was
    // signed.
    bytes[listing["members"][1]["data_offset"].get<size_t>()] ^= 0x01;
    WriteBytes(folder / "Changed.exe", bytes);
    const RunResult verify = RunLmvpack(folder.path(), {"verify", "Changed.exe"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("FAILED: signature: signed by CN=First, O=Tarrowby Test, but the "
                              "file was changed after it was signed: the signature no longer "
                              "matches it\n"),
              std::string::npos)
        << verify.out;
    // The members themselves are whole, and the report says so; osslsigncode's own words stay
    // out of it.
    EXPECT_NE(verify.out.find("FAILED: the signature does not match the file; all 3 members are "
                              "whole\n"),
              std::string::npos)
        << verify.out;
    for (const char* raw : {"MISMATCH", "digest", "Calculated", "osslsigncode"})
        EXPECT_EQ(verify.out.find(raw), std::string::npos) << raw << " in\n" << verify.out;
    const nlohmann::json report =
        nlohmann::json::parse(RunLmvpack(folder.path(), {"verify", "Changed.exe", "--json"}).out);
    EXPECT_EQ(report["signature"]["state"], "changed");
    EXPECT_TRUE(report["members"][1]["whole"].get<bool>());
}

// A build that signs signs the uninstaller member too, with the same certificate, before it
// packs it: the extracted UNINSTAL.EXE verifies, and list and verify name each program
// member's signer. Signing a built installer leaves its uninstaller as it was, and says so.
TEST(LmvpackSigning, ABuildThatSignsSignsItsUninstallerToo) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    std::vector<std::string> manifests = {"m.toml"};
    // lmvpack's own uninstaller, where the win32 build made it.
    if (fs::exists(stub.parent_path() / "lmvuninst.exe")) {
        WriteText(folder / "own.toml", "name = \"Aurora\"\nscreensaver = \"s.scr\"\n");
        manifests.push_back("own.toml");
    }
    for (const std::string& manifest : manifests) {
        SCOPED_TRACE(manifest);
        const RunResult build = WithPassword(
            folder.path(), {"build", manifest, "-o", "Signed.exe", "--stub", stub.string(),
                            "--uninstaller", (stub.parent_path() / "lmvuninst.exe").string(), "-q",
                            "--cert", "First.pem", "--key", "First.key"});
        ASSERT_EQ(build.status, 0) << build.err;
        fs::remove_all(folder / "out");
        ASSERT_EQ(RunLmvpack(folder.path(), {"extract", "Signed.exe", "-o", "out"}).status, 0);
        const std::string check = "osslsigncode verify -CAfile '" +
                                  (folder / "First.pem").string() + "' -in '" +
                                  (folder / "out" / "UNINSTAL.EXE").string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(check.c_str()), 0) << "the packed uninstaller does not verify";

        const RunResult list = RunLmvpack(folder.path(), {"list", "Signed.exe"});
        EXPECT_NE(list.out.find("UNINSTAL.EXE  (program, signed by CN=First, O=Tarrowby Test "
                                "(self-signed))\n"),
                  std::string::npos)
            << list.out;
        EXPECT_NE(list.out.find("Aurora.scr  (program, not signed)\n"), std::string::npos)
            << list.out;
        EXPECT_NE(list.out.find("Aurora.dat\n"), std::string::npos) << list.out;
        const nlohmann::json json =
            nlohmann::json::parse(RunLmvpack(folder.path(), {"list", "Signed.exe", "--json"}).out);
        EXPECT_EQ(json["members"][2]["signature"]["signer"], "CN=First, O=Tarrowby Test");
        EXPECT_EQ(json["members"][0]["signature"]["signed"], false);
        EXPECT_TRUE(json["members"][1]["signature"].is_null());
        const RunResult verify = RunLmvpack(folder.path(), {"verify", "Signed.exe"});
        EXPECT_EQ(verify.status, 0) << verify.out;
        EXPECT_NE(verify.out.find("UNINSTAL.EXE  (program, signed by CN=First"), std::string::npos)
            << verify.out;
    }

    const RunResult sign =
        WithPassword(folder.path(), SignArguments("Setup.exe", "Later.exe", "First"));
    ASSERT_EQ(sign.status, 0) << sign.err;
    EXPECT_NE(sign.out.find("Its uninstaller UNINSTAL.EXE stays as it was built: not signed."),
              std::string::npos)
        << sign.out;
}

// A wrong password ends a signing build before anything is built, and the message names the
// files the author gave, never one of lmvpack's own temporary ones.
TEST(LmvpackSigning, ABuildReadsTheKeyBeforeItBuildsAnything) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    const fs::path seen = folder / "seen.txt";
    const OsslsigncodeStandIn stand_in(folder.path(), "ls -a '" + folder.path().string() +
                                                          "' >> '" + seen.string() + "'\nexec '" +
                                                          RealOsslsigncode() + "' \"$@\"\n");
    WriteText(folder / "password.txt", "not the password");
    const RunResult build = RunLmvpack(
        folder.path(), {"build", "m.toml", "-o", "Signed.exe", "--stub", stub.string(), "--cert",
                        "First.pem", "--key", "First.key", "--password-file", "password.txt"});
    EXPECT_EQ(build.status, 2);
    EXPECT_NE(build.err.find("wrong or missing password"), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("u.exe"), std::string::npos) << build.err;
    for (const char* internal : {"/tmp", "lmvpack-", ".unsigned", ".Signed.exe"})
        EXPECT_EQ(build.err.find(internal), std::string::npos) << internal << " in " << build.err;
    // When osslsigncode first ran, no installer had been built yet.
    EXPECT_EQ(ReadText(seen).find(".Signed.exe.unsigned"), std::string::npos) << ReadText(seen);
    EXPECT_FALSE(fs::exists(folder / "Signed.exe"));
}

TEST(LmvpackSigning, SigningAgainReplacesTheSignature) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    MakeCertificate(folder.path(), "Second");
    BuildInstaller(folder.path(), stub);
    ASSERT_EQ(WithPassword(folder.path(), SignArguments("Setup.exe", "Signed.exe", "First")).status,
              0);
    const size_t once = ReadBytes(folder / "Signed.exe").size();
    // In place, as authors do.
    const RunResult again =
        WithPassword(folder.path(), SignArguments("Signed.exe", "Signed.exe", "Second"));
    ASSERT_EQ(again.status, 0) << again.err;
    const SignatureInfo info = ReadSignature(ReadBytes(folder / "Signed.exe"));
    EXPECT_EQ(info.signature_count, 1u);
    EXPECT_EQ(info.signer, "CN=Second, O=Tarrowby Test");
    EXPECT_LT(ReadBytes(folder / "Signed.exe").size(), once + 1000) << "the old signature stayed";
    EXPECT_EQ(RunLmvpack(folder.path(), {"verify", "Signed.exe"}).status, 0);
}

TEST(LmvpackSigning, BuildSignsInOneStepWithThePasswordFromAFile) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    WriteText(folder / "password.txt", std::string(kPassword) + "\n");
    const RunResult build =
        RunLmvpack(folder.path(), {"build", "m.toml", "-o", "Signed.exe", "--stub", stub.string(),
                                   "--json", "--cert", "First.pem", "--key", "First.key",
                                   "--password-file", "password.txt"});
    ASSERT_EQ(build.status, 0) << build.err;
    // Standard output holds the JSON report alone, and it gives the signed file's size.
    const nlohmann::json report = nlohmann::json::parse(build.out);
    EXPECT_EQ(report["installer"]["size"].get<uint64_t>(), fs::file_size(folder / "Signed.exe"));
    EXPECT_EQ(ReadSignature(ReadBytes(folder / "Signed.exe")).signer, "CN=First, O=Tarrowby Test");
    EXPECT_EQ(RunLmvpack(folder.path(), {"verify", "Signed.exe"}).status, 0);
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename().string().find(".unsigned"), std::string::npos)
            << "left behind: " << entry.path();
}

TEST(LmvpackSigning, AWrongPasswordWritesNothingAndSaysWhy) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    WriteText(folder / "password.txt", "not the password");
    std::vector<std::string> arguments = SignArguments("Setup.exe", "Signed.exe", "First");
    arguments.insert(arguments.end(), {"--password-file", "password.txt"});
    const RunResult sign = RunLmvpack(folder.path(), arguments);
    EXPECT_EQ(sign.status, 2);
    EXPECT_NE(sign.err.find("wrong or missing password"), std::string::npos) << sign.err;
    EXPECT_FALSE(fs::exists(folder / "Signed.exe"));

    const RunResult no_key =
        RunLmvpack(folder.path(), {"sign", "Setup.exe", "-o", "Signed.exe", "--cert", "First.pem"});
    EXPECT_EQ(no_key.status, 2);
    EXPECT_NE(no_key.err.find("--cert needs --key"), std::string::npos) << no_key.err;
}

// osslsigncode is replaced on PATH by a script that records how it was called and what it
// could see, then hands over to the real one. The password comes from a variable that
// --password-env names, with the default variable set too.
TEST(LmvpackSigning, ThePasswordReachesOsslsigncodeOnlyThroughAPipe) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    const fs::path record = folder / "record.txt";
    const OsslsigncodeStandIn stand_in(
        folder.path(), "echo \"args: $*\" >> '" + record.string() +
                           "'\n"
                           "env | grep -c 'PASSWORD=' >> '" +
                           record.string() +
                           "'\n"
                           "prev=\nfor a in \"$@\"; do\n"
                           "  if [ \"$prev\" = -readpass ]; then stat -L -c 'kind %F' \"$a\" >> '" +
                           record.string() +
                           "'; fi\n"
                           "  prev=$a\ndone\n"
                           "exec '" +
                           RealOsslsigncode() + "' \"$@\"\n");
    ::setenv("SAVER_SIGNING_PASSWORD", kPassword, 1);
    std::vector<std::string> arguments = SignArguments("Setup.exe", "Signed.exe", "First");
    arguments.insert(arguments.end(), {"--password-env", "SAVER_SIGNING_PASSWORD"});
    const RunResult sign = WithPassword(folder.path(), arguments);
    ::unsetenv("SAVER_SIGNING_PASSWORD");
    ASSERT_EQ(sign.status, 0) << sign.err;

    const std::string seen = ReadText(record);
    EXPECT_EQ(seen.find(kPassword), std::string::npos) << seen;
    EXPECT_NE(seen.find("-readpass /dev/fd/"), std::string::npos) << seen;
    EXPECT_NE(seen.find("kind fifo"), std::string::npos) << seen;
    // Every call (sign, then verify) saw neither variable.
    EXPECT_EQ(seen.find("\n1\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("\n2\n"), std::string::npos) << seen;
}

// Ctrl-C while osslsigncode signs (a stand-in that waits): lmvpack ends by the signal, the
// stand-in is ended with it, and no file anywhere in the temporary folder or beside the
// output holds the password, or is left at all.
TEST(LmvpackSigning, CtrlCDuringSigningLeavesNothingThatHoldsThePassword) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    fs::create_directories(folder / "tmp");
    const fs::path started = folder / "started";
    const OsslsigncodeStandIn stand_in(
        folder.path(), "echo $$ > '" + started.string() + ".part'\nmv '" + started.string() +
                           ".part' '" + started.string() + "'\nexec sleep 60\n");
    const std::vector<std::string> before = {"Setup.exe", "s.scr", "s.dat", "u.exe"};
    for (const std::string& command : {std::string("sign"), std::string("build")}) {
        SCOPED_TRACE(command);
        fs::remove(started);
        const std::vector<std::string> arguments =
            command == "sign"
                ? SignArguments("Setup.exe", "Signed.exe", "First")
                : std::vector<std::string>{"build",  "m.toml",      "-o",     "Signed.exe",
                                           "--stub", stub.string(), "--cert", "First.pem",
                                           "--key",  "First.key"};
        BackgroundLmvpack lmvpack(
            folder.path(), arguments,
            {{"LMVPACK_KEY_PASSWORD", kPassword}, {"TMPDIR", (folder / "tmp").string()}});
        ASSERT_TRUE(lmvpack.WaitUntil([&] { return fs::exists(started); }, 60))
            << ReadText(folder / ".err");
        const pid_t signer = std::stoi(ReadText(started));
        lmvpack.Signal(SIGINT);
        const int raw = lmvpack.Wait(30);
        EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGINT) << raw;
        EXPECT_NE(::kill(signer, 0), 0) << "osslsigncode outlived lmvpack";
        EXPECT_TRUE(FilesHolding(folder / "tmp", kPassword).empty());
        EXPECT_TRUE(fs::is_empty(folder / "tmp")) << fs::directory_iterator(folder / "tmp")->path();
        EXPECT_FALSE(fs::exists(folder / "Signed.exe"));
        for (const auto& entry : fs::directory_iterator(folder.path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".Signed.exe"))
                << "left behind: " << entry.path();
    }
}

TEST(LmvpackSignatureInfo, DamagedTablesAreReportedNotReadPastTheirEnd) {
    SignatureInfo info;
    ReadCertificateTable(std::vector<uint8_t>{0x04, 0, 0, 0, 0, 2, 2, 0}, info);
    EXPECT_EQ(info.problem, "its certificate table is damaged");

    SignatureInfo wrong_type;
    ReadCertificateTable(std::vector<uint8_t>{0x08, 0, 0, 0, 0, 2, 1, 0}, wrong_type);
    EXPECT_EQ(wrong_type.problem, "its certificate table holds no signature");

    // A PKCS#7 record whose DER lengths run past the record.
    SignatureInfo cut;
    ReadCertificateTable(std::vector<uint8_t>{0x10, 0, 0, 0, 0, 2, 2, 0, 0x30, 0x84, 0x7F, 0xFF,
                                              0xFF, 0xFF, 0x06, 0x01},
                         cut);
    EXPECT_EQ(cut.signature_count, 1u);
    EXPECT_EQ(cut.problem, "its signature is not a PKCS#7 structure");
}

} // namespace
