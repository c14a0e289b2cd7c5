// Signed installers, with a throwaway self-signed certificate made by the test: the signature
// verifies, the package still reads and restores, a changed byte is caught, signing again
// replaces the signature, and the key's password never shows on a command line.
#include "lmvpack_runner.h"

#include "tools/lmvpack/signature_info.h"

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

// An installer of the real stub with three small members.
void BuildInstaller(const fs::path& folder, const fs::path& stub) {
    WriteText(folder / "s.scr", std::string(3000, 'S'));
    WriteText(folder / "s.dat", "data of the screen saver");
    WriteText(folder / "u.exe", std::string(500, 'U'));
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
    EXPECT_EQ(ReadText(folder / "out" / "Aurora.scr"), std::string(3000, 'S'));
    EXPECT_EQ(ReadText(folder / "out" / "UNINSTAL.EXE"), std::string(500, 'U'));
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
    // A byte of the screen saver member: still a whole package, no longer what was signed.
    bytes[listing["members"][0]["data_offset"].get<size_t>()] ^= 0x01;
    WriteBytes(folder / "Changed.exe", bytes);
    const RunResult verify = RunLmvpack(folder.path(), {"verify", "Changed.exe"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("FAILED: signature:"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("changed after it was signed"), std::string::npos) << verify.out;
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
// could see, then hands over to the real one.
TEST(LmvpackSigning, ThePasswordReachesOsslsigncodeOnlyThroughAPrivateFile) {
    LMV_REQUIRE_STUB(stub);
    LMV_REQUIRE_SIGNING_TOOLS();
    ScratchFolder folder;
    MakeCertificate(folder.path(), "First");
    BuildInstaller(folder.path(), stub);
    const fs::path bin = folder / "bin";
    fs::create_directories(bin);
    std::string real = "osslsigncode";
    if (FILE* which = ::popen("command -v osslsigncode", "r")) {
        char line[512] = "";
        if (std::fgets(line, sizeof line, which))
            real = std::string(line, std::strcspn(line, "\n"));
        ::pclose(which);
    }
    const fs::path record = folder / "record.txt";
    WriteText(bin / "osslsigncode",
              "#!/bin/sh\n"
              "echo \"args: $*\" >> '" +
                  record.string() +
                  "'\n"
                  "env | grep -c LMVPACK_KEY_PASSWORD >> '" +
                  record.string() +
                  "'\n"
                  "prev=\nfor a in \"$@\"; do\n"
                  "  if [ \"$prev\" = -readpass ]; then stat -c 'mode %a' \"$a\" >> '" +
                  record.string() +
                  "'; fi\n"
                  "  prev=$a\ndone\n"
                  "exec '" +
                  real + "' \"$@\"\n");
    fs::permissions(bin / "osslsigncode", fs::perms::owner_all);
    const std::string path = std::string(std::getenv("PATH"));
    ::setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    const RunResult sign =
        WithPassword(folder.path(), SignArguments("Setup.exe", "Signed.exe", "First"));
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(sign.status, 0) << sign.err;

    const std::string seen = ReadText(record);
    EXPECT_EQ(seen.find(kPassword), std::string::npos) << seen;
    EXPECT_NE(seen.find("-readpass"), std::string::npos) << seen;
    EXPECT_NE(seen.find("mode 600"), std::string::npos) << seen;
    // Every call (sign, then verify) saw no password variable.
    EXPECT_EQ(seen.find("\n1\n"), std::string::npos) << seen;
    // The private file is gone.
    const size_t at = seen.find("-readpass ");
    ASSERT_NE(at, std::string::npos);
    const std::string file = seen.substr(at + 10, seen.find(' ', at + 10) - at - 10);
    EXPECT_FALSE(fs::exists(file)) << file;
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
