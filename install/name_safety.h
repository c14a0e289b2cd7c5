// Names that come from the package must not lead a file out of the folders we install into.
// The screen saver's name becomes a file in the Windows directory and a folder level of its
// own, and every media member's NameSuffix ends a file name in that folder: a separator, a
// drive colon or a name of dots alone in either would let a package write anywhere. Such a
// package is refused before anything is written.
#pragma once

#include "install/install_layout.h" // IsReservedDeviceName, the rule the base name obeys
#include "package/package_format.h"

#include <cstdint>

// The base name (the screen saver's name without ".scr"): no "\", "/" or ":", not made of
// dots and blanks alone ("." and ".." climb), not ending in a dot or a blank, and no device
// name. Windows drops a trailing dot or blank from a folder's name but the install log, the
// screen saver's file name and the Uninstall key keep it, so the uninstaller, which knows the
// name by its folder, would find neither the key nor its files.
bool IsSafeBaseName(const char* base_name);

// The screen saver's name as the package stores it, trailing blanks included: usable when,
// without those blanks, it is a safe base name that leaves room for ".scr" in a path buffer.
bool IsUsableScreenSaverName(const char* stored_name);

// The ANSI code page lmvpack writes names in: Windows-1252, of English and Western European
// Windows.
constexpr uint32_t kPackageCodePage = 1252;

// Whether the stored name means the same characters on a Windows whose ANSI code page is
// `code_page` as lmvpack wrote them: always in Windows-1252, elsewhere only in plain ASCII.
// A byte above 127 becomes another character there, or, in the double-byte code pages of
// Japanese, Chinese and Korean Windows, a lead byte that swallows the "\" after the name and
// puts the files into another folder; with UTF-8 as the code page it becomes U+FFFD, and the
// uninstaller removes the key but none of the files.
bool NameReadsAlikeInCodePage(const char* stored_name, uint32_t code_page);

// A media member's NameSuffix, as far as it goes (15 bytes at most, or up to a zero byte):
// no "\", "/" or ":".
bool IsSafeNameSuffix(const MemberEntry& entry);

// Reads the member table as the run will walk it and checks the suffix of every media member
// the walk would reach. True when every name is safe, including when the table cannot be read
// (the walk then stops at the same place, before any name that was not checked).
bool MemberNamesAreSafe();
