#include "tools/lmvpack/cli/listing_json.h"

#include "tools/lmvpack/support/ansi_text.h"

#include <cstdio>

nlohmann::json ListingToJson(const InstallerListing& listing) {
    nlohmann::json members = nlohmann::json::array();
    for (const ListedMember& member : listing.members) {
        members.push_back({{"index", member.index},
                           {"data_offset", member.entry.DataOffset},
                           {"stored_size", member.entry.StoredSize},
                           {"unpacked_size", member.entry.UnpackedSize},
                           {"installed_name", Windows1252ToUtf8(member.installed_name)}});
    }
    return {{"name", Windows1252ToUtf8(listing.name)},
            {"agreement_length", listing.agreement_length},
            {"needs_directx", listing.needs_directx != 0},
            {"top_color", ColorText(listing.top_color)},
            {"bottom_color", ColorText(listing.bottom_color)},
            {"first_media_number", listing.first_media_number},
            {"package_offset", listing.package_offset},
            {"total_size", listing.total_size},
            {"members", members}};
}

namespace {

std::string VersionNumberText(const VersionInfo& version) {
    return std::to_string(version.number[0]) + "." + std::to_string(version.number[1]) + "." +
           std::to_string(version.number[2]) + "." + std::to_string(version.number[3]);
}

// The lmvpack release of the stub an installer was built with; empty when its stub records
// none (stubs before 1.0.0 did not).
std::string StubRelease(const InstallerBranding& branding) {
    return branding.version ? branding.version->Value(kStubReleaseKey) : std::string();
}

} // namespace

nlohmann::json BrandingToJson(const InstallerBranding& branding, const SignatureInfo& signature) {
    nlohmann::json icon = nlohmann::json::array();
    for (const IconImage& image : branding.icon) {
        nlohmann::json entry = {
            {"width", image.width}, {"height", image.height}, {"bits", image.bit_count}};
        // What the image itself holds, which the icon's directory may misstate.
        if (image.png) entry["png_bits_per_channel"] = image.png_channel_depth;
        icon.push_back(std::move(entry));
    }
    nlohmann::json version = nullptr;
    if (branding.version) {
        nlohmann::json strings = nlohmann::json::object();
        for (const auto& [key, value] : branding.version->strings)
            strings[key] = value;
        version = {{"number", VersionNumberText(*branding.version)}, {"strings", strings}};
    }
    nlohmann::json signed_by = nullptr;
    if (signature.present)
        signed_by = {{"signer", signature.signer},
                     {"issuer", signature.issuer},
                     {"signatures", signature.signature_count},
                     {"problem", signature.problem}};
    const std::string stub = StubRelease(branding);
    return {{"icon", icon},
            {"version", version},
            {"stub_release", stub.empty() ? nlohmann::json(nullptr) : nlohmann::json(stub)},
            {"signature", signed_by}};
}

std::string BrandingText(const InstallerBranding& branding, const SignatureInfo& signature) {
    std::string text =
        "icon:               " +
        (branding.icon.empty() ? std::string("none") : DescribeIconImages(branding.icon)) + "\n";
    text += "version:            ";
    if (!branding.version) {
        text += "none\n";
    } else {
        text += VersionNumberText(*branding.version);
        for (const char* key : {"ProductName", "CompanyName", "LegalCopyright"})
            if (const std::string value = branding.version->Value(key); !value.empty())
                text += ", " + value;
        text += "\n";
    }
    const std::string stub = StubRelease(branding);
    text += "stub:               " +
            (stub.empty() ? std::string("not recorded (a stub from before lmvpack 1.0.0)")
                          : "lmvpack " + stub) +
            "\n";
    return text + "signature:          " + SignerText(signature) + "\n";
}

nlohmann::json ProgramSignatureJson(bool program, const SignatureInfo& signature) {
    if (!program) return nullptr;
    return {{"signed", signature.present},
            {"signer", signature.signer},
            {"issuer", signature.issuer},
            {"problem", signature.problem}};
}

std::string ColorText(uint32_t color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    return text;
}
