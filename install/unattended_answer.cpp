#include "install/unattended_answer.h"

int UnattendedAnswer(uint32_t type) {
    switch (type & kBoxTypeMask) {
    case kBoxOkCancel:
    case kBoxYesNoCancel:
    case kBoxRetryCancel:
    case kBoxCancelTryContinue:
        return kAnswerCancel;
    case kBoxYesNo:
        return kAnswerNo;
    case kBoxAbortRetryIgnore:
        return kAnswerAbort;
    default:
        return kAnswerOk;
    }
}
