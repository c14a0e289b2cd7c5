#include "uninstaller/install_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<LogLine> lines(MaxLogLines(text.size()));
    const size_t count = SplitInstallLog(text, lines.data(), lines.size());
    std::vector<std::string> out;
    for (size_t i = 0; i < count; ++i)
        out.push_back(text.substr(lines[i].offset, lines[i].length));
    return out;
}

using Strings = std::vector<std::string>;

TEST(SplitInstallLog, ReadsCrLfLinesAsTheInstallerWritesThem) {
    EXPECT_EQ(Lines("C:\\w\\A.scr\r\nC:\\d\\A.dat\r\nC:\\d\\UNINSTAL.EXE\r\n"),
              (Strings{"C:\\w\\A.scr", "C:\\d\\A.dat", "C:\\d\\UNINSTAL.EXE"}));
    EXPECT_EQ(Lines(""), Strings{});
    EXPECT_EQ(Lines("\r\n\r\n"), Strings{});
}

TEST(SplitInstallLog, ToleratesEditedFiles) {
    // A lone LF ends a line, a missing last line end does not lose the line, empty lines are
    // passed over, and a CR that does not end a line stays in it (and so names no file).
    EXPECT_EQ(Lines("a\nb\r\n\nc"), (Strings{"a", "b", "c"}));
    EXPECT_EQ(Lines("a\rb\r\nc\r"), (Strings{"a\rb", "c\r"}));
}

TEST(SplitInstallLog, AReinstallationsRepeatedLinesCountOnceInFirstOrder) {
    const std::string once = "C:\\w\\A.scr\r\nC:\\d\\A.dat\r\nC:\\d\\UNINSTAL.EXE\r\n";
    EXPECT_EQ(Lines(once + once + once), Lines(once));
    // Letter case does not make another file; the first spelling is the one kept.
    EXPECT_EQ(Lines("x\r\nC:\\D\\A.DAT\r\ny\r\nc:\\d\\a.dat\r\nx\r\n"),
              (Strings{"x", "C:\\D\\A.DAT", "y"}));
    // A longer line that starts like a shorter one is a line of its own.
    EXPECT_EQ(Lines("C:\\d\\a\r\nC:\\d\\ab\r\nC:\\d\\a\r\n"), (Strings{"C:\\d\\a", "C:\\d\\ab"}));
}

TEST(SplitInstallLog, EveryLineFitsTheSizeItAsksFor) {
    // The worst case for MaxLogLines: one-character lines with lone LFs (64 characters from
    // '!' to '`', none of them a small letter that would fold onto another).
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += std::string(1, static_cast<char>('!' + i % 64)) + "\n";
    EXPECT_EQ(Lines(text).size(), 64u);
    std::vector<LogLine> too_few(MaxLogLines(text.size()) - 1);
    EXPECT_EQ(SplitInstallLog(text, too_few.data(), too_few.size()), 0u);
}

} // namespace
