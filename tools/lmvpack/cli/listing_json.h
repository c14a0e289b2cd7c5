// An installer's listing as list, info and verify print it: the JSON of --json, and the lines
// of text for its branding, signature and colours.
#pragma once

#include "tools/lmvpack/builder/stub_branding.h"
#include "tools/lmvpack/installer/installer_reader.h"
#include "tools/lmvpack/pe/signature_info.h"

#include <nlohmann/json.hpp>
#include <string>

// The keys of `lmvpack list --json`; texts are converted from Windows-1252 to UTF-8. Like
// `info --json`, and like the manifest, it writes colours as "#RRGGBB" and the header's
// flags as true or false.
nlohmann::json ListingToJson(const InstallerListing& listing);

// The keys "icon", "version", "stub_release" and "signature" that list --json adds for an
// installer's branding, the lmvpack release of its stub and its signature; "version",
// "stub_release" and "signature" are null when it has none.
nlohmann::json BrandingToJson(const InstallerBranding& branding, const SignatureInfo& signature);

// One line each for the icon, the version information, the stub's release and the signature.
std::string BrandingText(const InstallerBranding& branding, const SignatureInfo& signature);

// The key "signature" of a member in list --json and verify --json: null for a member that
// is no program, else its signer and issuer ("" when it is not signed) and any problem.
nlohmann::json ProgramSignatureJson(bool program, const SignatureInfo& signature);

// 0x00BBGGRR as "#RRGGBB".
std::string ColorText(uint32_t color);
