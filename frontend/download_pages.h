// The web pages that the installer offers when something the screen saver needs is missing,
// and the version rules that choose between the DirectX pages.
#pragma once

#include <cstdint>

// Windows Media Player, for media types that no media device could open.
constexpr const char kMediaPlayerPage[] =
    "https://support.microsoft.com/en-us/windows/"
    "get-windows-media-player-81718e0d-cfce-25b1-aee3-94596b658287";
// The DirectX end-user runtime web installer, for every system but the first Windows 95.
constexpr const char kDirectXPage[] = "https://www.microsoft.com/en-us/download/details.aspx?id=35";
// The first Windows 95 cannot run the web installer; the complete end-user runtime package
// is the closest offer that is still published.
constexpr const char kDirectXWindows95Page[] =
    "https://www.microsoft.com/en-us/download/details.aspx?id=8109";

// GetVersionExA's platform ids; 0 is what a zeroed block reads when the call failed.
constexpr uint32_t kPlatformWindows9x = 1; // VER_PLATFORM_WIN32_WINDOWS
constexpr uint32_t kPlatformNT = 2;        // VER_PLATFORM_WIN32_NT

// DirectX 7 never came to NT 4 and earlier, so such a system is not asked about it.
bool ShouldOfferDirectX(uint32_t platform, uint32_t major_version);

// The Windows 95 page for version 4.0 of the Windows 95 family, the general page otherwise.
const char* DirectXPageFor(uint32_t platform, uint32_t major_version, uint32_t minor_version);
