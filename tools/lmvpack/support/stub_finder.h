// Where lmvpack takes the files it builds installers from and the programs it ships with: the
// installer stub (lmvstub.exe) when --stub is not given, the members it supplies itself
// (builder/builtin_members.h) when the manifest names none, and the GUI driver that `try` runs
// under Wine.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The places searched for one of these files, in order: beside the tool installed
// (<prefix>/share/lmvpack/<file> for <prefix>/bin/lmvpack; on Windows the tool's own folder
// first), then, for a Linux tool run from its build folder, the folders that the file
// kBuildTreeFileName beside it names as "programs": the tree's win32 build and the tool's data
// (tools/lmvpack/data). The build writes that file and never installs it, so an installed tool
// holds no path of the machine it was built on and finds its files beside itself only.
std::vector<std::filesystem::path> ProgramCandidates(std::string_view file_name);

// The first candidate that exists.
std::optional<std::filesystem::path> FindProgram(std::string_view file_name);

// The candidates for a message saying where the file was looked for: "\n  path" each.
std::string SearchedPlaces(std::string_view file_name);

// Where the document `file_name` (manifest.md, signing.md) is for the user reading --help:
// where cmake --install put it (<prefix>/share/doc/lmvpack/docs/<file> for
// <prefix>/bin/lmvpack; on Windows docs\<file> in the tool's folder), else, for a tool run from
// its build folder, in the folder that kBuildTreeFileName names as "documents"; the installed
// place when neither holds it.
std::filesystem::path DocumentPath(std::string_view file_name);

constexpr std::string_view kStubFileName = "lmvstub.exe";
constexpr std::string_view kUninstallerFileName = "lmvuninst.exe";
constexpr std::string_view kNoDataFileName = "nodata.dat";
constexpr std::string_view kGuiDriverFileName = "gui_driver.exe";
// Beside a Linux tool in its build folder (tools/lmvpack/CMakeLists.txt writes it): lines of
// "programs <folder>" and "documents <folder>".
constexpr std::string_view kBuildTreeFileName = "lmvpack-build-tree.txt";

inline std::optional<std::filesystem::path> FindStub() {
    return FindProgram(kStubFileName);
}
