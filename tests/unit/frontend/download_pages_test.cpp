#include "frontend/download_pages.h"

#include <gtest/gtest.h>

namespace {

TEST(ShouldOfferDirectX, NtFourAndEarlierAreNotAsked) {
    EXPECT_FALSE(ShouldOfferDirectX(kPlatformNT, 3));
    EXPECT_FALSE(ShouldOfferDirectX(kPlatformNT, 4));
    EXPECT_TRUE(ShouldOfferDirectX(kPlatformNT, 5));
    EXPECT_TRUE(ShouldOfferDirectX(kPlatformNT, 6));
    EXPECT_TRUE(ShouldOfferDirectX(kPlatformWindows9x, 4));
    // A failed GetVersionExA leaves a zeroed block: platform 0 is asked.
    EXPECT_TRUE(ShouldOfferDirectX(0, 0));
}

TEST(DirectXPageFor, OnlyTheFirstWindows95GetsItsOwnPage) {
    EXPECT_STREQ(DirectXPageFor(kPlatformWindows9x, 4, 0), kDirectXWindows95Page);
    EXPECT_STREQ(DirectXPageFor(kPlatformWindows9x, 4, 10), kDirectXPage);
    EXPECT_STREQ(DirectXPageFor(kPlatformWindows9x, 4, 90), kDirectXPage);
    EXPECT_STREQ(DirectXPageFor(kPlatformNT, 4, 0), kDirectXPage);
    EXPECT_STREQ(DirectXPageFor(kPlatformNT, 5, 1), kDirectXPage);
    EXPECT_STREQ(DirectXPageFor(0, 0, 0), kDirectXPage);
}

} // namespace
