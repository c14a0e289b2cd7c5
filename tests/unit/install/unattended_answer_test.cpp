#include "install/unattended_answer.h"

#include <gtest/gtest.h>

namespace {

// MB_ICONQUESTION, MB_ICONINFORMATION, MB_ICONHAND and MB_DEFBUTTON2 as Windows numbers them.
constexpr uint32_t kFlags[] = {0, 0x20, 0x40, 0x10, 0x100};

TEST(UnattendedAnswer, TheAnswerThatGoesNoFurtherForEveryKindOfBox) {
    const std::pair<uint32_t, int> expected[] = {
        {kBoxOk, kAnswerOk},                    // a notice: nothing to decide
        {kBoxOkCancel, kAnswerCancel},          // "Disk Full": nothing written; codecs: no page
        {kBoxYesNo, kAnswerNo},                 // replace, abort, DirectX: no
        {kBoxYesNoCancel, kAnswerCancel},       //
        {kBoxRetryCancel, kAnswerCancel},       //
        {kBoxCancelTryContinue, kAnswerCancel}, //
        {kBoxAbortRetryIgnore, kAnswerAbort},   //
    };
    for (const auto& [type, answer] : expected)
        for (const uint32_t flags : kFlags)
            EXPECT_EQ(UnattendedAnswer(type | flags), answer) << type << " " << flags;
}

} // namespace
