// What the installer makes sure of before it asks the user anything: that its package can be
// read to the end of the member table, and that every name in it can be installed. A package
// that fails one of these is refused with a message, in silent mode too, and nothing is asked,
// created or changed.
#pragma once

#include <cstdint>

enum class PackageRefusal {
    kNone,
    // The package cannot be located, its header or member table is cut short, or the table
    // holds no member at all.
    kDamagedOrMissing,
    // The screen saver's name is no plain file name (see IsUsableScreenSaverName), or it would
    // read as other characters in the system's code page (see NameReadsAlikeInCodePage).
    kUnusableName,
    // A media member's name would leave the data folder.
    kNameOutsideFolders,
};

// `header_read`: whether the header was read whole when the title window was created, so that
// ScreenSaverName is the package's own. `ansi_code_page`: the system's (GetACP), in which the
// name's bytes are read. Reads the member table through fresh passes.
PackageRefusal CheckPackageBeforeAsking(bool header_read, uint32_t ansi_code_page);

// The message of a refusal other than kNone, shown under kRefusalCaption.
const char* RefusalText(PackageRefusal refusal);
constexpr const char kRefusalCaption[] = "Error!!!";
