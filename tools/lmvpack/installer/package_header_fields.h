// The package header's fields as lmvpack fills them in: the manifest loads them, the package
// writer lays them out, in this one shape so that a new field is added once.
#pragma once

#include <cstdint>
#include <string>

struct PackageHeaderFields {
    std::string agreement_text; // Windows-1252, CR LF line ends, at most 65535 bytes; empty: none
    std::string name;           // Windows-1252, trailing blanks kept, at most 259 bytes
    bool needs_directx = false;
    // The colours a manifest gets when it names none: blue, as the installer's own default,
    // toward black.
    uint32_t top_color = 0x00FF0000; // 0x00BBGGRR
    uint32_t bottom_color = 0;
    uint16_t first_media_number = 1;
};
