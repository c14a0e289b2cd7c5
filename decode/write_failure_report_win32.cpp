#include "decode/write_failure.h"

#include <windows.h>

void ShowWriteFailure(const char* message) {
    // Shown in silent mode as well: like refused access, it is a failure the user must see.
    MessageBoxA(nullptr, message, "Error!!!", MB_OK | MB_ICONHAND);
}
