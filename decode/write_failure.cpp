#include "decode/write_failure.h"

#include "package/package_format.h"
#include "platform/format_text.h"

namespace {
char write_target[kPathSize] = "";
} // namespace

void SetWriteTarget(const char* path) {
    FormatText(write_target, sizeof write_target, "%s", path ? path : "");
}

void ReportWriteFailure() {
    char message[512];
    FormatText(message, sizeof message,
               "The file %s could not be written. The disk may be full.\r\n\r\n"
               "The installation has been stopped, and the files it had installed have been "
               "removed.",
               write_target[0] ? write_target : "being installed");
    ShowWriteFailure(message);
}
