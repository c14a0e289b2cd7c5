// Two controls over the installer's own file and the global heap, for the tests and fuzzers
// that run the installer's portable code in place of the installer. They link
// file_api_test_hooks.cpp in place of the product's stand-ins (platform/win32_stand_ins_host.cpp,
// lmvpack's, which has no own file and no such controls), so no program that ships holds them.
#pragma once

#include "platform/file_api.h"

// Names the file that stands for the running program's own executable, opened at its first
// use (PlatHoldOwnFile); "" leaves no such file, as when the installer cannot open its own.
void PlatSetModuleFileName(const char* path);

// Makes the next PlatGlobalAlloc fail, for tests of the out-of-memory paths.
void PlatFailNextGlobalAlloc();
