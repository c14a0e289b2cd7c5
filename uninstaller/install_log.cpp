#include "uninstaller/install_log.h"

#include "uninstaller/path_text.h"

#include <algorithm>

namespace {

unsigned char Folded(char c) {
    return static_cast<unsigned char>(ToUpperAscii(c));
}

struct ByFoldedText {
    std::string_view text;

    bool operator()(const LogLine& a, const LogLine& b) const {
        const std::string_view x = Part(text, a.offset, a.length);
        const std::string_view y = Part(text, b.offset, b.length);
        const size_t common = std::min(x.size(), y.size());
        for (size_t i = 0; i < common; ++i)
            if (Folded(x[i]) != Folded(y[i])) return Folded(x[i]) < Folded(y[i]);
        if (x.size() != y.size()) return x.size() < y.size();
        return a.offset < b.offset;
    }
};

} // namespace

size_t SplitInstallLog(std::string_view text, LogLine* lines, size_t capacity) {
    if (text.size() > UINT32_MAX || capacity < MaxLogLines(text.size())) return 0;
    size_t count = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        if (end > start && text[end - 1] == '\r' && end < text.size()) --end;
        if (end > start)
            lines[count++] =
                LogLine{static_cast<uint32_t>(start), static_cast<uint32_t>(end - start)};
        start = next;
    }

    // Sorting by text (then by position) puts the repeats of a path right after its first
    // line; keep that one, then restore the log's order.
    const ByFoldedText by_text{text};
    std::sort(lines, lines + count, by_text);
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        const LogLine& line = lines[i];
        if (kept > 0 &&
            EqualIgnoringAsciiCase(Part(text, lines[kept - 1].offset, lines[kept - 1].length),
                                   Part(text, line.offset, line.length)))
            continue;
        lines[kept++] = line;
    }
    std::sort(lines, lines + kept,
              [](const LogLine& a, const LogLine& b) { return a.offset < b.offset; });
    return kept;
}
