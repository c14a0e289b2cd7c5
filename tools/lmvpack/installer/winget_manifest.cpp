#include "tools/lmvpack/installer/winget_manifest.h"

#include "platform/exit_status.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstdio>

namespace {

// The installer's exit statuses other than 0, each with the response winget shows for it. A
// status not listed here, such as a crash's exception code, is a failure all the same.
struct ReturnCode {
    int32_t status;
    const char* response;
};
constexpr ReturnCode kReturnCodes[] = {
    {kWriteFailureExitStatus, "diskFull"},
    {kIncompleteExitStatus, "contactSupport"},
    {kRefusedExitStatus, "contactSupport"},
    // No desktop to show the title window on, as in a session without a display.
    {kNoTitleWindowExitStatus, "contactSupport"},
    {kDiskFullExitStatus, "diskFull"},
    {kNoAdministratorRightsExitStatus, "blockedByPolicy"},
    // Installed, but the media files need codecs this Windows lacks.
    {kUnsupportedMediaExitStatus, "missingDependency"},
    {kAlreadyRunningExitStatus, "installInProgress"},
};

// Characters that no identifier part or version may hold, besides control characters.
constexpr std::string_view kForbiddenInNames = "\\/:*?\"<>|";

bool IsControl(unsigned char c) {
    return c >= 0x01 && c <= 0x1F;
}

class Yaml {
  public:
    explicit Yaml(const char* schema) {
        text_ = "# Made by lmvpack winget. Check License and ShortDescription in the locale file\n"
                "# before submitting; docs/deployment.md says how.\n"
                "# yaml-language-server: $schema=https://aka.ms/winget-manifest." +
                std::string(schema) + "." + kWingetManifestVersion + ".schema.json\n\n";
    }
    Yaml& Text(int indent, std::string_view key, std::string_view value) {
        return Line(indent, std::string(key) + ": " + YamlQuoted(value));
    }
    Yaml& Number(int indent, std::string_view key, int64_t value) {
        return Line(indent, std::string(key) + ": " + std::to_string(value));
    }
    Yaml& Key(int indent, std::string_view key) { return Line(indent, std::string(key) + ":"); }
    Yaml& Item(int indent, std::string_view value) {
        return Line(indent, "- " + YamlQuoted(value));
    }
    // The first key of a mapping that is an item of a sequence.
    Yaml& ItemText(int indent, std::string_view key, std::string_view value) {
        return Line(indent, "- " + std::string(key) + ": " + YamlQuoted(value));
    }
    Yaml& ItemNumber(int indent, std::string_view key, int64_t value) {
        return Line(indent, "- " + std::string(key) + ": " + std::to_string(value));
    }
    Yaml& Ending(const char* manifest_type) {
        return Text(0, "ManifestType", manifest_type)
            .Text(0, "ManifestVersion", kWingetManifestVersion);
    }
    std::string str() const { return text_; }

  private:
    Yaml& Line(int indent, const std::string& line) {
        text_ += std::string(static_cast<size_t>(indent) * 2, ' ') + line + "\n";
        return *this;
    }
    std::string text_;
};

void CheckLength(std::string_view text, size_t shortest, size_t longest, const char* what) {
    const size_t count = CharacterCount(text);
    if (count < shortest || count > longest)
        throw InstallerError(std::string(what) + " \"" + std::string(text) + "\" has " +
                             std::to_string(count) + " characters; a winget manifest takes " +
                             std::to_string(shortest) + " to " + std::to_string(longest));
}

// CR LF, as the installer's text box needs them, become plain line ends.
std::string PlainLineEnds(std::string_view text) {
    std::string out;
    for (size_t at = 0; at < text.size(); ++at)
        if (!(text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) out += text[at];
    return out;
}

} // namespace

size_t CharacterCount(std::string_view utf8) {
    size_t count = 0;
    for (const char c : utf8)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

std::string YamlQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string WingetIdentifierProblem(std::string_view identifier) {
    const std::string rule = "write Publisher.Name: two to eight parts joined by dots, each of 1 "
                             "to 32 characters without blanks or \\ / : * ? \" < > |";
    if (CharacterCount(identifier) > 128) return "longer than 128 characters; " + rule;
    size_t parts = 0;
    size_t start = 0;
    for (;;) {
        const size_t dot = identifier.find('.', start);
        const std::string_view part = identifier.substr(start, dot - start);
        ++parts;
        if (part.empty() || CharacterCount(part) > 32) return rule;
        for (const char c : part) {
            const auto byte = static_cast<unsigned char>(c);
            if (IsControl(byte) || c == ' ' || c == '\x7F' ||
                kForbiddenInNames.find(c) != std::string_view::npos)
                return rule;
        }
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts >= 2 && parts <= 8 ? "" : rule;
}

std::string WingetUrlProblem(std::string_view url) {
    const std::string_view lowered_scheme = url.substr(0, url.find("://"));
    std::string scheme;
    for (const char c : lowered_scheme)
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (url.find("://") == std::string_view::npos || (scheme != "http" && scheme != "https") ||
        url.size() == url.find("://") + 3)
        return "not an http or https address (https://example.com/Setup.exe)";
    for (const char c : url)
        if (c == '\n' || c == '\r') return "holds a line break";
    if (CharacterCount(url) > 2048) return "longer than 2048 characters";
    return "";
}

std::string WingetVersionProblem(std::string_view version) {
    if (version.empty() || CharacterCount(version) > 128) return "must have 1 to 128 characters";
    for (const char c : version)
        if (IsControl(static_cast<unsigned char>(c)) ||
            kForbiddenInNames.find(c) != std::string_view::npos)
            return "holds a character that winget does not take in a version (\\ / : * ? \" < "
                   "> | or a control character)";
    return "";
}

std::string ElevationRequirementOf(std::string_view application_manifest) {
    const size_t element = application_manifest.find("requestedExecutionLevel");
    if (element == std::string_view::npos) return "";
    const size_t end = application_manifest.find('>', element);
    const std::string_view attributes = application_manifest.substr(element, end - element);
    for (const char quote : {'"', '\''}) {
        const std::string key = std::string("level=") + quote;
        const size_t at = attributes.find(key);
        if (at == std::string_view::npos) continue;
        const size_t from = at + key.size();
        const std::string_view level = attributes.substr(from, attributes.find(quote, from) - from);
        if (level == "requireAdministrator") return "elevationRequired";
        if (level == "highestAvailable") return "elevatesSelf";
        return "";
    }
    return "";
}

std::vector<WingetFile> BuildWingetManifest(const WingetFacts& facts) {
    if (const std::string problem = WingetIdentifierProblem(facts.identifier); !problem.empty())
        throw BuildError("--id " + facts.identifier + ": " + problem);
    if (const std::string problem = WingetUrlProblem(facts.installer_url); !problem.empty())
        throw BuildError("--url " + facts.installer_url + ": " + problem);
    if (const std::string problem = WingetVersionProblem(facts.version); !problem.empty())
        throw InstallerError("the installer's version \"" + facts.version + "\" " + problem);
    CheckLength(facts.product_code, 1, 255, "the screen saver's name");
    CheckLength(facts.display_name, 2, 256, "the Uninstall entry's DisplayName");
    CheckLength(facts.arp_publisher, 1, 256, "the Uninstall entry's Publisher");
    CheckLength(facts.publisher, 2, 256, "the publisher");
    const std::string description = facts.display_name + " for Windows";
    CheckLength(description, 3, 256, "the short description");
    const std::string agreement = PlainLineEnds(facts.agreement);
    if (CharacterCount(agreement) > kWingetLongestAgreement)
        throw InstallerError(
            "the installer's agreement has " + std::to_string(CharacterCount(agreement)) +
            " characters; winget shows at most " + std::to_string(kWingetLongestAgreement) +
            " before it installs, and an unattended installation accepts it "
            "without showing it. Shorten the agreement and build again");

    Yaml version("version");
    version.Text(0, "PackageIdentifier", facts.identifier)
        .Text(0, "PackageVersion", facts.version)
        .Text(0, "DefaultLocale", kWingetLocale)
        .Ending("version");

    Yaml installer("installer");
    installer.Text(0, "PackageIdentifier", facts.identifier)
        .Text(0, "PackageVersion", facts.version)
        .Text(0, "InstallerLocale", kWingetLocale)
        .Text(0, "InstallerType", "exe")
        .Text(0, "Scope", "machine")
        .Key(0, "InstallModes")
        .Item(1, "interactive")
        .Item(1, "silent")
        .Item(1, "silentWithProgress")
        .Key(0, "InstallerSwitches")
        .Text(1, "Silent", kWingetSilentSwitch)
        .Text(1, "SilentWithProgress", kWingetSilentSwitch)
        .Text(0, "UpgradeBehavior", "install");
    if (!facts.elevation.empty()) installer.Text(0, "ElevationRequirement", facts.elevation);
    installer.Key(0, "ExpectedReturnCodes");
    for (const ReturnCode& code : kReturnCodes)
        installer.ItemNumber(1, "InstallerReturnCode", code.status)
            .Text(2, "ReturnResponse", code.response);
    installer.Text(0, "ProductCode", facts.product_code)
        .Key(0, "AppsAndFeaturesEntries")
        .ItemText(1, "DisplayName", facts.display_name)
        .Text(2, "Publisher", facts.arp_publisher)
        .Text(2, "DisplayVersion", facts.version)
        .Text(2, "ProductCode", facts.product_code)
        .Key(0, "Installers")
        .ItemText(1, "Architecture", "x86")
        .Text(2, "InstallerUrl", facts.installer_url)
        .Text(2, "InstallerSha256", facts.sha256)
        .Ending("installer");

    Yaml locale("defaultlocale");
    locale.Text(0, "PackageIdentifier", facts.identifier)
        .Text(0, "PackageVersion", facts.version)
        .Text(0, "PackageLocale", kWingetLocale)
        .Text(0, "Publisher", facts.publisher)
        .Text(0, "PackageName", facts.display_name)
        .Text(0, "License", "Proprietary")
        .Text(0, "ShortDescription", description);
    if (CharacterCount(facts.copyright) >= 3 && CharacterCount(facts.copyright) <= 512)
        locale.Text(0, "Copyright", facts.copyright);
    if (!agreement.empty())
        locale.Key(0, "Agreements")
            .ItemText(1, "AgreementLabel", "License Agreement")
            .Text(2, "Agreement", agreement);
    locale.Ending("defaultLocale");

    return {{facts.identifier + ".yaml", version.str()},
            {facts.identifier + ".installer.yaml", installer.str()},
            {facts.identifier + ".locale." + kWingetLocale + ".yaml", locale.str()}};
}
