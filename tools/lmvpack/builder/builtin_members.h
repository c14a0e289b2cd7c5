// Members that come with lmvpack, for a manifest that names no file for them (or "builtin"):
//   uninstaller  lmvuninst.exe, built from uninstaller/, installed as UNINSTAL.EXE;
//   data         nodata.dat, a one-line placeholder for screen savers without a data file
//                (the package always holds one, and it cannot be empty).
// An author with nothing but a .scr can so build a complete installer.
#pragma once

#include "tools/lmvpack/manifest/manifest.h"

#include <filesystem>

// Gives each built-in member of the manifest its file: for the uninstaller `uninstaller`
// (the --uninstaller option) when not empty, else the file found where the stub is found
// (support/stub_finder.h). Throws BuildError naming the places searched, or what is wrong with the
// file.
void ResolveBuiltinMembers(Manifest& manifest, const std::filesystem::path& uninstaller);
