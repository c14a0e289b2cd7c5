// Names that come from the package must not lead a file out of the folders we install into.
// The screen saver's name becomes a file in the Windows directory and a folder level of its
// own, and every media member's NameSuffix ends a file name in that folder: a separator, a
// drive colon or a name of dots alone in either would let a package write anywhere. Such a
// package is refused before anything is written.
#pragma once

#include "package/package_format.h"

// The base name (the screen saver's name without ".scr"): no "\", "/" or ":", and not made of
// dots and blanks alone ("." and ".." climb, and Windows drops trailing dots and blanks).
bool IsSafeBaseName(const char* base_name);

// A media member's NameSuffix, as far as it goes (15 bytes at most, or up to a zero byte):
// no "\", "/" or ":".
bool IsSafeNameSuffix(const MemberEntry& entry);

// Reads the member table as the run will walk it and checks the suffix of every media member
// the walk would reach. True when every name is safe, including when the table cannot be read
// (the walk then stops at the same place, before any name that was not checked).
bool MemberNamesAreSafe();
