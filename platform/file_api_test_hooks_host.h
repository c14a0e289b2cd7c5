// Two controls over the hosts' kernel layer (platform/win32_stand_ins_host.cpp) for the tests
// and fuzzers that run the installer's code in place of the installer. The installer never
// links them, and the authoring tool does not need them: it reads installers by path.
#pragma once

#include "platform/file_api.h"

// Names the file that stands for the running program's own executable, opened at its first
// use (PlatHoldOwnFile); "" leaves no such file, as when the installer cannot open its own.
void PlatSetModuleFileName(const char* path);

// Makes the next PlatGlobalAlloc fail, for tests of the out-of-memory paths.
void PlatFailNextGlobalAlloc();
