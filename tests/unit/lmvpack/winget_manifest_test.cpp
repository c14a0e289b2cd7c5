#include "tools/lmvpack/installer/winget_manifest.h"
#include "tools/lmvpack/support/sha256.h"
#include "tools/lmvpack/support/tool_error.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Digest(std::string_view text) {
    Sha256 sha;
    sha.Update(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    const auto digest = sha.Finish();
    return HexUpper(digest);
}

TEST(Sha256, KnownDigests) {
    // FIPS 180-4's examples, and a text that fills the last block to 56 bytes and one past.
    EXPECT_EQ(Digest(""), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(Digest("abc"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1");
    EXPECT_EQ(Digest(std::string(1000000, 'a')),
              "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0");
}

TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>(i * 37 + 11);
    const std::string whole = Digest(text);
    for (size_t first = 0; first <= text.size(); first += 7) {
        Sha256 sha;
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        sha.Update(std::span<const uint8_t>(bytes, first));
        sha.Update(std::span<const uint8_t>(bytes + first, text.size() - first));
        EXPECT_EQ(HexUpper(sha.Finish()), whole) << first;
    }
}

WingetFacts Facts() {
    WingetFacts facts;
    facts.identifier = "Tarrowby.Aurora";
    facts.installer_url = "https://example.com/AuroraSetup.exe";
    facts.sha256 = std::string(64, 'A');
    facts.version = "1.2.3";
    facts.product_code = "Aurora";
    facts.display_name = "Aurora Screen Saver";
    facts.arp_publisher = "Tarrowby";
    facts.publisher = "Tarrowby";
    facts.elevation = "elevationRequired";
    return facts;
}

const WingetFile& File(const std::vector<WingetFile>& files, const std::string& name) {
    for (const WingetFile& file : files)
        if (file.name == name) return file;
    ADD_FAILURE() << "no file " << name;
    return files.front();
}

TEST(WingetManifest, ThreeFilesNamedAfterTheIdentifier) {
    const auto files = BuildWingetManifest(Facts());
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].name, "Tarrowby.Aurora.yaml");
    EXPECT_EQ(files[1].name, "Tarrowby.Aurora.installer.yaml");
    EXPECT_EQ(files[2].name, "Tarrowby.Aurora.locale.en-US.yaml");
    for (const WingetFile& file : files)
        EXPECT_NE(file.text.find("ManifestVersion: \"1.12.0\"\n"), std::string::npos) << file.name;
}

TEST(WingetManifest, TheAgreementGoesToWingetsOwnQuestionWithPlainLineEnds) {
    WingetFacts facts = Facts();
    facts.agreement = "LICENCE\r\n\r\nYou may \"use\" it.\r\n";
    const std::string locale =
        File(BuildWingetManifest(facts), "Tarrowby.Aurora.locale.en-US.yaml").text;
    EXPECT_NE(locale.find("Agreement: \"LICENCE\\n\\nYou may \\\"use\\\" it.\\n\"\n"),
              std::string::npos)
        << locale;
    facts.agreement.clear();
    EXPECT_EQ(File(BuildWingetManifest(facts), "Tarrowby.Aurora.locale.en-US.yaml")
                  .text.find("Agreements"),
              std::string::npos);
}

TEST(WingetManifest, AnAgreementWingetCannotShowIsRefused) {
    WingetFacts facts = Facts();
    facts.agreement = std::string(kWingetLongestAgreement, 'x');
    EXPECT_NO_THROW(BuildWingetManifest(facts));
    // CR LF count as one character once they are plain line ends; é is one character too.
    facts.agreement = std::string(kWingetLongestAgreement - 2, 'x') + "\r\n\xC3\xA9";
    EXPECT_NO_THROW(BuildWingetManifest(facts));
    facts.agreement += "x";
    EXPECT_THROW(BuildWingetManifest(facts), InstallerError);
}

TEST(WingetManifest, BadIdentifierUrlAndVersionAreRefusedBeforeAnythingIsMade) {
    WingetFacts facts = Facts();
    facts.identifier = "Aurora";
    EXPECT_THROW(BuildWingetManifest(facts), BuildError);
    facts = Facts();
    facts.installer_url = "ftp://example.com/a.exe";
    EXPECT_THROW(BuildWingetManifest(facts), BuildError);
    facts = Facts();
    facts.version = "1/2";
    EXPECT_THROW(BuildWingetManifest(facts), InstallerError);
}

TEST(WingetIdentifier, PublisherDotNameWithTwoToEightParts) {
    for (const char* good : {"Tarrowby.Aurora", "A.B", "a.b.c.d.e.f.g.h", "Acme-Savers.Aurora_2"})
        EXPECT_EQ(WingetIdentifierProblem(good), "") << good;
    const std::string part32(32, 'p');
    EXPECT_EQ(WingetIdentifierProblem(part32 + "." + part32), "");
    for (const std::string& bad :
         {std::string("Aurora"), std::string(""), std::string("a..b"), std::string(".a.b"),
          std::string("a.b."), std::string("a.b.c.d.e.f.g.h.i"), std::string("My Co.Aurora"),
          std::string("a.b/c"), std::string("a.b:c"), std::string("a.b\tc"), std::string("a.b\"c"),
          part32 + "p.a"})
        EXPECT_NE(WingetIdentifierProblem(bad), "") << bad;
}

TEST(WingetUrl, HttpOrHttpsOnOneLine) {
    for (const char* good : {"https://example.com/Setup.exe", "HTTP://x", "hTtPs://a/b?c=d"})
        EXPECT_EQ(WingetUrlProblem(good), "") << good;
    for (const std::string& bad :
         {std::string("example.com/Setup.exe"), std::string("https://"), std::string("ftp://x"),
          std::string("https//x"), std::string("https://x\n"), std::string("file:///C:/a.exe"),
          "https://" + std::string(2041, 'x')})
        EXPECT_NE(WingetUrlProblem(bad), "") << bad;
    EXPECT_EQ(WingetUrlProblem("https://" + std::string(2040, 'x')), "");
}

TEST(WingetVersion, AnyTextWithoutWhatWindowsRefusesInNames) {
    for (const char* good : {"1", "1.2.3.4", "2025.1 beta"})
        EXPECT_EQ(WingetVersionProblem(good), "") << good;
    for (const std::string& bad : {std::string(""), std::string("1/2"), std::string("1|2"),
                                   std::string("1\x01"), std::string(129, '1')})
        EXPECT_NE(WingetVersionProblem(bad), "") << bad;
}

TEST(ElevationRequirement, FromTheApplicationManifestsLevel) {
    const auto manifest = [](const std::string& level) {
        return "<assembly><trustInfo><security><requestedPrivileges>"
               "<requestedExecutionLevel " +
               level +
               " uiAccess=\"false\"/></requestedPrivileges></security></trustInfo></assembly>";
    };
    EXPECT_EQ(ElevationRequirementOf(manifest("level=\"requireAdministrator\"")),
              "elevationRequired");
    EXPECT_EQ(ElevationRequirementOf(manifest("level='highestAvailable'")), "elevatesSelf");
    EXPECT_EQ(ElevationRequirementOf(manifest("level=\"asInvoker\"")), "");
    EXPECT_EQ(ElevationRequirementOf("<assembly/>"), "");
    EXPECT_EQ(ElevationRequirementOf(""), "");
}

TEST(YamlQuoted, EveryTextRoundTripsThroughADoubleQuotedScalar) {
    EXPECT_EQ(YamlQuoted("plain"), "\"plain\"");
    EXPECT_EQ(YamlQuoted("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
    EXPECT_EQ(YamlQuoted("1\r\n2\t3"), "\"1\\r\\n2\\t3\"");
    EXPECT_EQ(YamlQuoted(std::string("\x01\x7F", 2)), "\"\\x01\\x7F\"");
    EXPECT_EQ(YamlQuoted("\xC3\xA9 # : -"), "\"\xC3\xA9 # : -\"");
}

} // namespace
