// The install dialog: hidden OK button, visible Cancel, and the run started by itself.
#include "install/install_dialog.h"

#include "install/installation_run.h"
#include "install/installer_state.h"
#include "install/user_messages_win32.h"
#include "platform/format_text.h"
#include "resources/resource_ids.h"

namespace {

// A confirmed Cancel only raises the flag; the run notices it at its next poll.
void AskAbort(HWND dialog) {
    if (AbortRequested != 0) return;
    if (ShowUserMessage(dialog, "Are you sure you would like to abort this installation?",
                        "Abort Installation?", MB_YESNO, kKeepExitStatus) == IDYES)
        AbortRequested = 1;
}

void InitInstallDialog(HWND dialog) {
    if (InstallMode == kInteractiveMode) ShowWindow(dialog, SW_SHOW);
    InstallDialogWindow = dialog;
    // The name holds at most 259 characters; the room covers it and the fixed words.
    char text[kScreenSaverNameSize + 32];
    FormatText(text, sizeof text, "%s Screen Saver Installation", ScreenSaverName);
    SetWindowTextA(dialog, text);
    FormatText(text, sizeof text, "%s Screen Saver", ScreenSaverName);
    SetDlgItemTextA(dialog, IDC_INSTALL_TITLE, text);
    // The run starts with the first message the modal loop takes, once the dialog is up.
    PostMessageA(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

} // namespace

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        InitInstallDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (wparam == IDOK) {
            RunInstallation(dialog);
            return TRUE;
        }
        if (wparam == IDCANCEL) AskAbort(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}
