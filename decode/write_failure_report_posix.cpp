#include "decode/write_failure.h"

#include <cstdio>

void ShowWriteFailure(const char* message) {
    std::fprintf(stderr, "%s\n", message);
}
