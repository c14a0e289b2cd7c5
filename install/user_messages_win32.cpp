#include "install/user_messages_win32.h"

#include "install/installer_state.h"
#include "install/unattended_answer.h"

static_assert(MB_OK == kBoxOk && MB_OKCANCEL == kBoxOkCancel &&
                  MB_ABORTRETRYIGNORE == kBoxAbortRetryIgnore &&
                  MB_YESNOCANCEL == kBoxYesNoCancel && MB_YESNO == kBoxYesNo &&
                  MB_RETRYCANCEL == kBoxRetryCancel && MB_TYPEMASK == kBoxTypeMask,
              "the box types as Windows numbers them");
static_assert(IDOK == kAnswerOk && IDCANCEL == kAnswerCancel && IDABORT == kAnswerAbort &&
                  IDNO == kAnswerNo,
              "the answers as Windows numbers them");

int ShowUserMessage(HWND owner, const char* text, const char* caption, UINT type,
                    int32_t unattended_status) {
    if (InstallUnattended == 0) return MessageBoxA(owner, text, caption, type);
    if (unattended_status != kKeepExitStatus) InstallExitStatus = unattended_status;
    return UnattendedAnswer(type);
}
