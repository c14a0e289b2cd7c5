#include "install/pump_messages_win32.h"

#include "install/installer_state.h"

#include <windows.h>

bool PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(static_cast<HWND>(InstallDialogWindow), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // Read only once the queue is empty: a Cancel confirmed in this very call counts.
    return AbortRequested != 0 && ProtectedMember == 0;
}
