// Where lmvpack finds the Windows programs it ships with: the installer stub that `build`
// uses when --stub is not given, and the GUI driver that `try` runs under Wine.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The places searched, in order: the installed stub beside the tool
// (<prefix>/share/lmvpack/lmvstub.exe for <prefix>/bin/lmvpack), then the stub of the
// source tree the tool was built from (build/win32/lmvstub.exe).
std::vector<std::filesystem::path> StubCandidates();

// The first candidate that exists.
std::optional<std::filesystem::path> FindStub();

// The same places for another of the shipped programs ("gui_driver.exe").
std::vector<std::filesystem::path> DataFileCandidates(const std::string& name);
std::optional<std::filesystem::path> FindDataFile(const std::string& name);
