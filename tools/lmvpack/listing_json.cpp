#include "tools/lmvpack/listing_json.h"

#include "tools/lmvpack/ansi_text.h"

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

std::string ColorText(uint32_t color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    return text;
}
