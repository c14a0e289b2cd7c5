// lmvpack list and lmvpack info: what an installer holds, as the installer reads it.
#include "tools/lmvpack/cli/commands.h"
#include "tools/lmvpack/cli/listing_json.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/installer/member_restore.h"
#include "tools/lmvpack/support/ansi_text.h"
#include "tools/lmvpack/support/tool_error.h"

#include <cstdio>
#include <memory>

namespace {

struct ReadOptions {
    std::string installer;
    bool json = false;
};

void PrintListing(const InstallerListing& listing) {
    std::printf("name:               \"%s\"\n", Windows1252ToUtf8(listing.name).c_str());
    std::printf("agreement:          %u bytes\n", listing.agreement_length);
    std::printf("needs DirectX 7:    %s (%u)\n", listing.needs_directx ? "yes" : "no",
                listing.needs_directx);
    std::printf("colours:            top %s, bottom %s\n", ColorText(listing.top_color).c_str(),
                ColorText(listing.bottom_color).c_str());
    std::printf("first media number: %u\n", listing.first_media_number);
    std::printf("package offset:     %u\n", listing.package_offset);
    std::printf("installed size:     %u bytes\n", listing.total_size);
    std::printf(
        "%s", BrandingText(ReadBranding(listing.path), ReadSignatureOfFile(listing.path)).c_str());
    std::printf("\n%5s %10s %10s %10s  %s\n", "index", "offset", "stored", "unpacked",
                "installed as");
    for (const ListedMember& member : listing.members) {
        // A program's signer, which Windows shows whenever it is started (the uninstaller's
        // in Add/Remove Programs' elevation prompt).
        const MemberProgram program = ReadMemberProgram(listing, member);
        std::printf("%5u %10u %10u %10u  %s%s\n", member.index, member.entry.DataOffset,
                    member.entry.StoredSize, member.entry.UnpackedSize,
                    Windows1252ToUtf8(member.installed_name).c_str(),
                    program.program
                        ? ("  (program, " + ProgramSignerText(program.signature) + ")").c_str()
                        : "");
    }
}

void PrintInfo(const InstallerListing& listing, bool json) {
    uint64_t stored = 0;
    size_t compressed = 0;
    for (const ListedMember& member : listing.members) {
        stored += member.entry.StoredSize;
        compressed += IsCompressed(member.entry) ? 1 : 0;
    }
    if (json) {
        const nlohmann::json info = {{"name", Windows1252ToUtf8(listing.name)},
                                     {"members", listing.members.size()},
                                     {"compressed_members", compressed},
                                     {"installed_size", listing.total_size},
                                     {"stored_size", stored},
                                     {"file_size", listing.file_size},
                                     {"has_agreement", listing.agreement_length != 0},
                                     {"needs_directx", listing.needs_directx != 0},
                                     {"top_color", ColorText(listing.top_color)},
                                     {"bottom_color", ColorText(listing.bottom_color)}};
        std::printf("%s\n", info.dump(2).c_str());
        return;
    }
    std::printf("\"%s\": %zu members (%zu compressed), %u bytes installed from %llu stored; "
                "installer %llu bytes; %s; %s; colours %s to %s\n",
                Windows1252ToUtf8(listing.name).c_str(), listing.members.size(), compressed,
                listing.total_size, static_cast<unsigned long long>(stored),
                static_cast<unsigned long long>(listing.file_size),
                listing.agreement_length ? "with agreement" : "no agreement",
                listing.needs_directx ? "needs DirectX 7" : "no DirectX check",
                ColorText(listing.top_color).c_str(), ColorText(listing.bottom_color).c_str());
}

template <typename Print>
int RunRead(const ReadOptions& options, const char* command, Print print) {
    try {
        print(ReadInstaller(options.installer));
        return 0;
    } catch (const InstallerError& error) {
        std::fprintf(stderr, "lmvpack %s: %s\n", command, error.what());
        return 1;
    }
}

} // namespace

void AddListCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<ReadOptions>();
    CLI::App* command = app.add_subcommand("list", "Show an installer's header and member table");
    command->add_option("installer", options->installer, "The installer")->required();
    command->add_flag("--json", options->json, "Print JSON for scripts");
    command->footer("Example:\n  lmvpack list AuroraSetup.exe --json");
    command->callback([options, &exit_status] {
        exit_status = RunRead(*options, "list", [&](const InstallerListing& listing) {
            if (options->json) {
                nlohmann::json json = ListingToJson(listing);
                for (nlohmann::json& member : json["members"]) {
                    const MemberProgram program =
                        ReadMemberProgram(listing, listing.members[member["index"].get<size_t>()]);
                    member["signature"] = ProgramSignatureJson(program.program, program.signature);
                }
                json.update(
                    BrandingToJson(ReadBranding(listing.path), ReadSignatureOfFile(listing.path)));
                std::printf("%s\n", json.dump(2).c_str());
            } else {
                PrintListing(listing);
            }
        });
    });
}

void AddInfoCommand(CLI::App& app, int& exit_status) {
    auto options = std::make_shared<ReadOptions>();
    CLI::App* command = app.add_subcommand("info", "Summarise an installer in one line");
    command->add_option("installer", options->installer, "The installer")->required();
    command->add_flag("--json", options->json, "Print JSON for scripts");
    command->footer("Example:\n  lmvpack info AuroraSetup.exe");
    command->callback([options, &exit_status] {
        exit_status = RunRead(*options, "info", [&](const InstallerListing& listing) {
            PrintInfo(listing, options->json);
        });
    });
}
