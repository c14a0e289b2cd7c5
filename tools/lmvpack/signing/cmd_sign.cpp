// lmvpack sign: an installer signed with the author's code-signing certificate.
#include "tools/lmvpack/installer/installed_names.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/installer/member_restore.h"
#include "tools/lmvpack/signing/installer_signing.h"
#include "tools/lmvpack/signing/sign_command.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/stub_finder.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstdio>
#include <memory>

namespace {

struct SignOptions {
    std::string installer;
    std::string output;
    SigningOptions signing;
};

int RunSign(const SignOptions& options) {
    if (!SigningRequested(options.signing)) {
        std::fprintf(stderr, "lmvpack sign: give the certificate: --cert CERT.pem --key KEY.pem, "
                             "or --pkcs12 FILE\n");
        return 2;
    }
    if (const std::string problem = SigningOptionsProblem(options.signing); !problem.empty()) {
        std::fprintf(stderr, "lmvpack sign: %s\n", problem.c_str());
        return 2;
    }
    try {
        const SigningKey key = ReadSigningKey(options.signing);
        const InstallerListing listing = ReadInstaller(options.installer);
        const std::string description =
            Windows1252ToUtf8(TrimTrailingBlanks(listing.name)) + " Screen Saver Installation";
        const SignatureInfo info =
            SignInstaller(options.installer, options.output, key, description, options.installer);
        std::printf("Signed %s: signed by %s%s\n", options.output.c_str(), info.signer.c_str(),
                    info.issuer == info.signer
                        ? (" (self-signed: Windows shows it as from an unknown publisher; see " +
                           DocumentPath("signing.md").string() + ")")
                              .c_str()
                        : "");
        // The uninstaller is a member of the package, which the installer's signature covers
        // but cannot change: its own signature is the one it was built with.
        if (listing.members.size() > kUninstallerMember) {
            const ListedMember& member = listing.members[kUninstallerMember];
            const MemberProgram uninstaller = ReadMemberProgram(listing, member);
            std::printf("Its uninstaller %s stays as it was built: %s.%s\n",
                        Windows1252ToUtf8(member.installed_name).c_str(),
                        uninstaller.program ? ProgramSignerText(uninstaller.signature).c_str()
                                            : "not a program",
                        uninstaller.signature.present
                            ? ""
                            : " lmvpack build with --cert/--key or --pkcs12 signs it with the "
                              "installer");
        }
        return 0;
    } catch (const InstallerError& error) {
        std::fprintf(stderr, "lmvpack sign: %s\n", error.what());
        return 1;
    } catch (const BuildError& error) {
        std::fprintf(stderr, "lmvpack sign: %s\n", error.what());
        return 2;
    }
}

} // namespace

void AddSignCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<SignOptions>();
    CLI::App* command =
        app.add_subcommand("sign", "Sign an installer with a code-signing certificate");
    command->add_option("installer", options->installer, "The installer")->required();
    command->add_option("-o,--output", options->output, "The signed installer to write")
        ->required();
    AddSigningOptions(*command, options->signing);
    command->footer(
        "Example:\n  LMVPACK_KEY_PASSWORD=... lmvpack sign AuroraSetup.exe -o AuroraSetup.exe "
        "--cert cert.pem --key key.pem\n"
        "The key's password comes from the environment or a file, never from the command line.\n"
        "A signature the installer already has is replaced. Its uninstaller member stays as it "
        "was built (lmvpack build --cert signs both). " +
        DocumentPath("signing.md").string() + " tells how to get a certificate.");
    command->callback([options, &exit_status] { exit_status = RunSign(*options); });
}
