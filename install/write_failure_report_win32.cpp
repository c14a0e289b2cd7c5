// The installer shows a write failure through its one seam for messages, which knows whether
// anyone is there to see it.
#include "decode/write_failure.h"

#include "install/user_messages_win32.h"

#include <windows.h>

void ShowWriteFailure(const char* message) {
    // Shown in silent mode as well: like refused access, it is a failure the user must see.
    // Unattended, the exit status alone tells it.
    ShowUserMessage(nullptr, message, "Error!!!", MB_OK | MB_ICONHAND, kWriteFailureExitStatus);
}
