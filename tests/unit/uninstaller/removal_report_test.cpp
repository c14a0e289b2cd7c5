#include "uninstaller/removal_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Format(const RemovalReport& report, size_t size = 8192) {
    std::string out(size, '#');
    FormatLeftovers(report, "Aurora", out.data(), out.size());
    return out.c_str();
}

TEST(RemovalReport, ExitStatusIsZeroOnlyWhenNothingRemains) {
    RemovalReport report{};
    EXPECT_EQ(RemovalExitStatus(report), kRemovedEverything);
    NoteLeftover(&report, Leftover::kScheduled, "C:\\x");
    EXPECT_EQ(RemovalExitStatus(report), kSomethingRemains);
    EXPECT_NE(kUserDeclined, kRemovedEverything);
    EXPECT_NE(kUserDeclined, kSomethingRemains);
}

TEST(RemovalReport, NamesEachLeftoverWithWhatHappenedToIt) {
    RemovalReport report{};
    NoteLeftover(&report, Leftover::kScheduled, "C:\\d\\FILE0001.WAV");
    NoteLeftover(&report, Leftover::kForeign, "C:\\windows\\system32\\kernel32.dll");
    NoteLeftover(&report, Leftover::kHardLinked, "C:\\d\\Aurora.dat");
    EXPECT_EQ(Format(report),
              "Aurora Screen Saver could not be removed completely:\r\n"
              "\r\nC:\\d\\FILE0001.WAV: in use; it will be removed when Windows restarts"
              "\r\nC:\\windows\\system32\\kernel32.dll: not a file of this screen saver; left "
              "alone"
              "\r\nC:\\d\\Aurora.dat: has other names (hard links); left alone");
}

TEST(RemovalReport, CountsWhatItCannotNameAndCutsAtWholeLines) {
    RemovalReport report{};
    for (int i = 0; i < 40; ++i)
        NoteLeftover(&report, Leftover::kForeign, "C:\\f" + std::to_string(i));
    EXPECT_EQ(report.count, 40u);
    const std::string all = Format(report);
    EXPECT_NE(all.find("C:\\f11: "), std::string::npos);
    EXPECT_EQ(all.find("C:\\f12"), std::string::npos);
    EXPECT_TRUE(all.ends_with("\r\n... and 28 more")) << all;

    // Room for the head line and two items: the rest is counted, no line is cut.
    const std::string head = "Aurora Screen Saver could not be removed completely:\r\n";
    const std::string item = "\r\nC:\\f0: not a file of this screen saver; left alone";
    const std::string short_text = Format(report, head.size() + 2 * item.size() + 20);
    EXPECT_TRUE(short_text.starts_with(head + item + "\r\nC:\\f1: ")) << short_text;
    EXPECT_TRUE(short_text.ends_with("\r\n... and 38 more")) << short_text;

    // A path longer than a report line keeps the text terminated.
    RemovalReport long_path{};
    NoteLeftover(&long_path, Leftover::kFailed, std::string(400, 'p'));
    EXPECT_EQ(Format(long_path).find(std::string(kPathSize, 'p')), std::string::npos);
}

} // namespace
