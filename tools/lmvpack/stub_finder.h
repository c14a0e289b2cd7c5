// Where lmvpack takes the files it builds installers from and the programs it ships with: the
// installer stub (lmvstub.exe) when --stub is not given, the members it supplies itself
// (builtin_members.h) when the manifest names none, and the GUI driver that `try` runs under
// Wine.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The places searched for one of these files, in order: beside the tool installed
// (<prefix>/share/lmvpack/<file> for <prefix>/bin/lmvpack; on Windows the tool's own folder
// first), then, in a development build (LMV_SOURCE_TREE_LOOKUP; never in a release), the source
// tree the tool was built from: its win32 build (build/win32/<file>) and the tool's data
// (tools/lmvpack/data/<file>).
std::vector<std::filesystem::path> ProgramCandidates(std::string_view file_name);

// The first candidate that exists.
std::optional<std::filesystem::path> FindProgram(std::string_view file_name);

// The candidates for a message saying where the file was looked for: "\n  path" each.
std::string SearchedPlaces(std::string_view file_name);

// Where the document `file_name` (manifest.md, signing.md) is for the user reading --help:
// where cmake --install put it (<prefix>/share/doc/lmvpack/<file> for <prefix>/bin/lmvpack;
// on Windows docs\<file> in the tool's folder), else in the source tree the tool was built
// from; the installed place when neither holds it.
std::filesystem::path DocumentPath(std::string_view file_name);

constexpr std::string_view kStubFileName = "lmvstub.exe";
constexpr std::string_view kUninstallerFileName = "lmvuninst.exe";
constexpr std::string_view kNoDataFileName = "nodata.dat";
constexpr std::string_view kGuiDriverFileName = "gui_driver.exe";

inline std::optional<std::filesystem::path> FindStub() {
    return FindProgram(kStubFileName);
}
