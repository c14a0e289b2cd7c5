// A winget manifest for a built installer: the version, installer and default-locale files of
// a multi-file manifest, as the Windows Package Manager's community repository takes them.
// The texts are made here from plain facts, so that the installer's file is read in one place
// (cmd_winget.cpp) and every rule of the schema can be checked without one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The schema version the files declare: the newest that the community repository lists for
// submissions and that the released winget clients read.
constexpr char kWingetManifestVersion[] = "1.12.0";
// The installer's texts are English.
constexpr char kWingetLocale[] = "en-US";
// The silent switch that winget passes: nothing is shown, nothing waits for an answer.
constexpr char kWingetSilentSwitch[] = "/UNATTENDED";
// winget shows an agreement of at most this many characters before it installs.
constexpr size_t kWingetLongestAgreement = 10000;

// What the manifest says, every text in UTF-8.
struct WingetFacts {
    std::string identifier;    // Publisher.Name, as given on the command line
    std::string installer_url; // where winget downloads the installer
    std::string sha256;        // the installer file's digest, upper-case hexadecimal
    std::string version;       // the version the installer writes as DisplayVersion
    std::string product_code;  // the Uninstall key's name: the trimmed screen saver name
    std::string display_name;  // the Uninstall entry's DisplayName
    std::string arp_publisher; // the Uninstall entry's Publisher
    std::string publisher;     // the package's publisher (the [version] company, else the above)
    std::string copyright;     // the [version] copyright, or empty
    std::string elevation;     // the schema's ElevationRequirement, or empty for none
    std::string agreement;     // the agreement text the installer would show, or empty
};

struct WingetFile {
    std::string name; // the file's name, without folder
    std::string text;
};

// The three files: "<identifier>.yaml", "<identifier>.installer.yaml" and
// "<identifier>.locale.en-US.yaml".
std::vector<WingetFile> BuildWingetManifest(const WingetFacts& facts);

// Why a text cannot be the package identifier (two to eight parts joined by dots, each 1 to
// 32 characters, none a blank, a control character or one of \ / : * ? " < > |), the
// installer URL (http or https, at most 2048 characters, one line) or the package version (no
// control character, \ / : * ? " < > |, at most 128 characters); empty when it can.
std::string WingetIdentifierProblem(std::string_view identifier);
std::string WingetUrlProblem(std::string_view url);
std::string WingetVersionProblem(std::string_view version);

// The ElevationRequirement that an application manifest's requestedExecutionLevel asks for:
// "requireAdministrator" needs elevation whatever happens ("elevationRequired"),
// "highestAvailable" decides by itself ("elevatesSelf"); "asInvoker", or no level, gives none.
std::string ElevationRequirementOf(std::string_view application_manifest);

// The text of a YAML double-quoted scalar, quotes included, for any UTF-8 text.
std::string YamlQuoted(std::string_view text);

// The number of characters (code points) of a UTF-8 text, as the schema's lengths count them.
size_t CharacterCount(std::string_view utf8);
