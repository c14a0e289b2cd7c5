#include "uninstaller/removal_report.h"

#include "platform/format_text.h"

#include <cstring>

namespace {

const char* Explanation(Leftover why) {
    switch (why) {
    case Leftover::kScheduled:
        return "in use; it will be removed when Windows restarts";
    case Leftover::kForeign:
        return "not a file of this screen saver; left alone";
    case Leftover::kLink:
        return "a link to somewhere else; left alone";
    case Leftover::kHardLinked:
        return "has other names (hard links); left alone";
    case Leftover::kNotAFile:
        return "not a file; left alone";
    case Leftover::kFailed:
        return "could not be removed";
    case Leftover::kFolderIsLink:
        return "a link to another folder; nothing was removed";
    case Leftover::kNotInstalled:
        return "not a folder made by the screen saver's installer; nothing was removed";
    case Leftover::kEntryKept:
        return "this entry in the list of installed programs could not be deleted";
    case Leftover::kForeignOwner:
        return "belongs to another user, not to the administrators of this computer; nothing "
               "was removed";
    case Leftover::kUnprotected:
        return "others may change it, and it could not be made the administrators' alone; "
               "nothing was removed";
    case Leftover::kLinkInstead:
        return "a link to another place; nothing was removed";
    case Leftover::kBusyElsewhere:
        return "another installation or removal of this screen saver is running; nothing was "
               "removed";
    }
    return "left behind";
}

// Appends text while it fits whole; false (and nothing appended) when it does not.
bool AppendWhole(char* out, size_t size, size_t* used, const char* text) {
    const size_t length = std::strlen(text);
    if (*used + length >= size) return false;
    std::memcpy(out + *used, text, length + 1);
    *used += length;
    return true;
}

} // namespace

void NoteLeftover(RemovalReport* report, Leftover why, std::string_view path) {
    if (report->count < RemovalReport::kNamed) {
        RemovalReport::Item& item = report->items[report->count];
        item.why = why;
        const size_t length = path.size() < sizeof item.path ? path.size() : sizeof item.path - 1;
        std::memcpy(item.path, path.data(), length);
        item.path[length] = '\0';
    }
    ++report->count;
}

int RemovalExitStatus(const RemovalReport& report) {
    return report.count == 0 ? kRemovedEverything : kSomethingRemains;
}

void FormatLeftovers(const RemovalReport& report, const char* screen_saver_name, char* out,
                     size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    size_t used = 0;
    char line[kPathSize + 128];
    FormatText(line, sizeof line, "%s Screen Saver could not be removed completely:\r\n",
               screen_saver_name);
    if (!AppendWhole(out, size, &used, line)) return;
    const size_t named =
        report.count < RemovalReport::kNamed ? report.count : RemovalReport::kNamed;
    size_t shown = 0;
    for (; shown < named; ++shown) {
        const RemovalReport::Item& item = report.items[shown];
        FormatText(line, sizeof line, "\r\n%s: %s", item.path, Explanation(item.why));
        if (!AppendWhole(out, size, &used, line)) break;
    }
    if (shown < report.count) {
        FormatText(line, sizeof line, "\r\n... and %lu more",
                   static_cast<unsigned long>(report.count - shown));
        AppendWhole(out, size, &used, line);
    }
}
