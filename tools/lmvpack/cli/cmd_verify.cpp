// lmvpack verify: restores every member in memory and says whether each comes out whole.
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/cli/listing_json.h"
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/installer/member_restore.h"
#include "tools/lmvpack/pe/signature_info.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include "tools/lmvpack/signing/installer_signing.h"
#endif

namespace {

struct SignatureReport {
    std::string text;    // for the line "signature: ..."
    nlohmann::json json; // null for an unsigned installer
    bool failed = false; // the signature does not match the file or cannot be read
};

// A signature is part of what the author ships: one that no longer matches the file means the
// file is not what was signed.
SignatureReport ReportSignature(const std::string& path) {
    SignatureReport report;
#ifndef _WIN32
    const SignatureCheck check = CheckSignature(path);
    const SignatureInfo& info = check.info;
    const std::string detail = check.detail;
    const std::string state = SignatureStateName(check.state);
#else
    const SignatureInfo info = ReadSignatureOfFile(path);
    const std::string detail = "lmvpack for Windows does not check signatures (signtool does)";
    const std::string state = "unchecked";
#endif
    if (!info.present) {
        report.text = "none";
        return report;
    }
    report.failed = state == "changed" || state == "damaged";
    const std::string signer = info.signer.empty() ? "an unknown signer" : info.signer;
    if (state == "matches")
        report.text = "signed by " + signer + "; the signature matches the file";
    else if (state == "changed")
        report.text = "signed by " + signer +
                      ", but the file was changed after it was signed: the signature no longer "
                      "matches it";
    else
        report.text = "signed by " + signer + "; " + detail;
    if (state == "matches" && info.issuer == info.signer)
        report.text += " (self-signed: Windows does not know this publisher)";
    report.json = {
        {"signer", info.signer}, {"issuer", info.issuer}, {"state", state}, {"detail", detail}};
    return report;
}

struct VerifyOptions {
    std::string installer;
    bool json = false;
};

int RunVerify(const VerifyOptions& options) {
    const std::optional<InstallerListing> loaded = LoadInstaller(options.installer, "verify");
    if (!loaded) return 1;
    const InstallerListing& listing = *loaded;
    const PackageFindings findings = CheckPackage(listing);
    nlohmann::json members = nlohmann::json::array();
    for (const MemberFinding& found : findings.members) {
        const ListedMember& member = *found.member;
        const bool compressed = IsCompressed(member.entry);
        const std::string name = Windows1252ToUtf8(member.installed_name);
        members.push_back(
            {{"index", member.index},
             {"installed_name", name},
             {"compressed", compressed},
             {"stored_size", member.entry.StoredSize},
             {"unpacked_size", member.entry.UnpackedSize},
             {"whole", found.problem.empty()},
             {"problem", found.problem},
             {"signature", ProgramSignatureJson(found.program.program, found.program.signature)}});
        if (!options.json)
            std::printf(
                "%-4s %3u %-10s %10u -> %10u  %s%s%s\n", found.problem.empty() ? "ok" : "FAIL",
                member.index, compressed ? "compressed" : "stored", member.entry.StoredSize,
                compressed ? member.entry.UnpackedSize : member.entry.StoredSize, name.c_str(),
                found.problem.empty() ? "" : ": ",
                found.problem.empty() && found.program.program
                    ? ("  (program, " + ProgramSignerText(found.program.signature) + ")").c_str()
                    : found.problem.c_str());
    }
    const SignatureReport signature = ReportSignature(options.installer);
    const size_t whole_members = listing.members.size() - findings.failures;
    const bool whole =
        findings.failures == 0 && findings.package_problem.empty() && !signature.failed;
    if (options.json) {
        const nlohmann::json report = {{"whole", whole},
                                       {"problem", findings.package_problem},
                                       {"members", members},
                                       {"signature", signature.json}};
        std::printf("%s\n", report.dump(2).c_str());
    } else {
        if (!findings.package_problem.empty())
            std::printf("FAILED: %s\n", findings.package_problem.c_str());
        std::printf("%ssignature: %s\n", signature.failed ? "FAILED: " : "",
                    signature.text.c_str());
        if (signature.failed && findings.failures == 0 && findings.package_problem.empty())
            std::printf("FAILED: the signature does not match the file; all %zu members are "
                        "whole\n",
                        listing.members.size());
        else
            std::printf("%s: %zu of %zu members whole\n", whole ? "OK" : "FAILED", whole_members,
                        listing.members.size());
    }
    return whole ? 0 : 1;
}

} // namespace

void AddVerifyCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* command =
        app.add_subcommand("verify", "Check that every member of an installer comes out whole");
    command->add_option("installer", options->installer, "The installer")->required();
    command->add_flag("--json", options->json, "Print JSON for scripts");
    command->footer("Example:\n  lmvpack verify AuroraSetup.exe\nExit status 0 only when every "
                    "member restores whole.");
    command->callback([options, &exit_status] { exit_status = RunVerify(*options); });
}
