// The answer that an unattended run (/UNATTENDED) takes for a message box it does not show.
// Nobody is there to agree to anything, so it is the answer that goes no further: Cancel
// where the box has it, else No, else Abort, else OK. "Disk Full" answered so writes nothing,
// the codec notice opens no web page, the abort question does not abort.
#pragma once

#include <cstdint>

// The message box types and answers as Windows numbers them (MB_*, ID*), so that the rule is
// the same here and in the installer.
constexpr uint32_t kBoxTypeMask = 0x0F;
constexpr uint32_t kBoxOk = 0, kBoxOkCancel = 1, kBoxAbortRetryIgnore = 2, kBoxYesNoCancel = 3,
                   kBoxYesNo = 4, kBoxRetryCancel = 5, kBoxCancelTryContinue = 6;
constexpr int kAnswerOk = 1, kAnswerCancel = 2, kAnswerAbort = 3, kAnswerNo = 7;

// The answer for a box of `type` (its buttons in the low four bits; icons and other flags in
// the rest are ignored).
int UnattendedAnswer(uint32_t type);
