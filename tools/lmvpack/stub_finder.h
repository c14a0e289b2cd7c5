// Where `lmvpack build` takes the installer stub from when --stub is not given.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

// The places searched, in order: the installed stub beside the tool
// (<prefix>/share/lmvpack/lmvstub.exe for <prefix>/bin/lmvpack), then the stub of the
// source tree the tool was built from (build/win32/lmvstub.exe).
std::vector<std::filesystem::path> StubCandidates();

// The first candidate that exists.
std::optional<std::filesystem::path> FindStub();
