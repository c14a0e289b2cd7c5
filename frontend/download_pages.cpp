#include "frontend/download_pages.h"

bool ShouldOfferDirectX(uint32_t platform, uint32_t major_version) {
    return !(platform == kPlatformNT && major_version <= 4);
}

const char* DirectXPageFor(uint32_t platform, uint32_t major_version, uint32_t minor_version) {
    const bool first_windows_95 =
        platform == kPlatformWindows9x && major_version == 4 && minor_version == 0;
    return first_windows_95 ? kDirectXWindows95Page : kDirectXPage;
}
