// The JSON form of an installer listing, shared by list and info.
#pragma once

#include "tools/lmvpack/installer_reader.h"

#include <nlohmann/json.hpp>
#include <string>

// The keys of `lmvpack list --json`; texts are converted from Windows-1252 to UTF-8. Like
// `info --json`, and like the manifest, it writes colours as "#RRGGBB" and the header's
// flags as true or false.
nlohmann::json ListingToJson(const InstallerListing& listing);

// 0x00BBGGRR as "#RRGGBB".
std::string ColorText(uint32_t color);
