// Reading INSTALL.LOG: one full path per line, each ended by CR LF. Every installation of the
// same screen saver appends its lines, so a path may come several times; the uninstaller
// handles each path once, in the order of its first line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct LogLine {
    uint32_t offset;
    uint32_t length;
};

// The most lines `text` can hold, for sizing the array of SplitInstallLog.
constexpr size_t MaxLogLines(size_t text_size) {
    return text_size / 2 + 1;
}

// Fills `lines` with the distinct non-empty lines of `text` in the order of their first
// appearance and returns their number. A line ends at CR LF, at a lone LF (an editor may have
// saved the file) or at the end of the text; lines that differ only in ASCII letter case name
// the same file and count once. `capacity` must be at least MaxLogLines(text.size()); text
// larger than 4 GiB is not split.
size_t SplitInstallLog(std::string_view text, LogLine* lines, size_t capacity);
