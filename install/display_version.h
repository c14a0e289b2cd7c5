// The "DisplayVersion" of the Uninstall entry: the product version in the installer's own
// version information, which lmvpack writes from the manifest's [version] table. Deployment
// tools detect an installation, and winget tells versions apart, by it.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for the text and its terminator; a longer version is no version to show.
constexpr size_t kDisplayVersionSize = 64;

// The ProductName that the stub's own version information carries until an author brands the
// installer: its version is lmvpack's, not the screen saver's.
constexpr char kStubProductName[] = "lmvpack";

// Reads the VS_VERSIONINFO resource data at `data` (`size` bytes, bounds never crossed) and
// copies the "ProductVersion" text of its first string table into `out`. False, with `out`
// empty, when the data is no version information, the table has no such text, its
// "ProductName" is kStubProductName, or the text is empty, does not fit `out`, or holds a
// character other than printable ASCII (the installer writes the registry in its ANSI code
// page, and a version is digits and dots).
bool DisplayVersionFromVersionInfo(const uint8_t* data, size_t size,
                                   char (&out)[kDisplayVersionSize]);
