// The write failure's message in the hosts of the decoder (the Linux build and lmvpack.exe),
// which have no window to show it in: standard error.
#include "decode/write_failure.h"

#include <cstdio>

void ShowWriteFailure(const char* message) {
    std::fprintf(stderr, "%s\n", message);
}
