#include "frontend/windows_drive.h"

#include "platform/fixed_text.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Root(const std::string& path) {
    char root[kPathSize];
    FreeSpaceRoot(path.c_str(), root);
    return root;
}

TEST(KilobytesFromBytes, RoundsDownAndHoldsAtTheLargestCountInsteadOfWrapping) {
    EXPECT_EQ(KilobytesFromBytes(1023), 0u);
    EXPECT_EQ(KilobytesFromBytes(5 * 1024 + 1023), 5u);
    EXPECT_EQ(KilobytesFromBytes((uint64_t{1} << 42) - 1), 0xFFFFFFFFu); // just under 4 TiB
    EXPECT_EQ(KilobytesFromBytes(uint64_t{1} << 42), 0xFFFFFFFFu);       // 4 TiB: would read 0
    EXPECT_EQ(KilobytesFromBytes((uint64_t{1} << 42) + (uint64_t{7} << 10)), 0xFFFFFFFFu);
}

TEST(FreeSpaceRoot, CutsAfterTheLastSeparatorWithinTheFirst32Characters) {
    EXPECT_EQ(Root("C:\\WINDOWS"), "C:\\");
    EXPECT_EQ(Root("C:\\WINDOWS\\"), "C:\\WINDOWS\\");
    EXPECT_EQ(Root("D:\\OS\\WIN"), "D:\\OS\\");
    EXPECT_EQ(Root("\\\\server\\share\\windows"), "\\\\server\\share\\");
    // The separator at index 31 counts, one at index 32 does not.
    EXPECT_EQ(Root("C:" + std::string(29, 'a') + "\\b"), "C:" + std::string(29, 'a') + "\\");
    EXPECT_EQ(Root("C:\\" + std::string(29, 'a') + "\\b"), "C:\\");
}

TEST(FreeSpaceRoot, WithoutASeparatorNearTheStartAsksForTheFolderItself) {
    EXPECT_EQ(Root("C:WINDOWS"), "C:WINDOWS\\");
    const std::string long_folder = std::string(40, 'a') + "\\b";
    EXPECT_EQ(Root(long_folder), long_folder + "\\");
    EXPECT_EQ(Root(std::string(259, 'z')), ""); // no room for the separator: the current drive
}

TEST(DriveRootOf, CutsAfterTheFirstSeparator) {
    char root[kPathSize];
    ASSERT_TRUE(DriveRootOf("C:\\WINDOWS", root));
    EXPECT_STREQ(root, "C:\\");
    ASSERT_TRUE(DriveRootOf("E:\\OS\\WINDOWS\\", root));
    EXPECT_STREQ(root, "E:\\");
    EXPECT_FALSE(DriveRootOf("WINDOWS", root));
}

} // namespace
