#include "frontend/title_gradient.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | (g << 8) | (b << 16);
}

TEST(TitleBandColor, FirstBandIsTheTopColourAndTheLastStopsOneStepShort) {
    EXPECT_EQ(TitleBandColor(Rgb(10, 20, 30), Rgb(200, 100, 0), 0), Rgb(10, 20, 30));
    EXPECT_EQ(TitleBandColor(Rgb(0, 0, 0), Rgb(255, 255, 255), 255), Rgb(254, 254, 254));
    EXPECT_EQ(TitleBandColor(Rgb(255, 255, 255), Rgb(0, 0, 0), 255), Rgb(1, 1, 1));
    EXPECT_EQ(TitleBandColor(Rgb(0, 0, 0), Rgb(255, 255, 255), 128), Rgb(127, 127, 127));
}

TEST(TitleBandColor, ChannelsRunIndependentlyAndTruncateTowardTheTop) {
    // 200 + (-100 * 1) / 256 truncates to 200, not 199.
    EXPECT_EQ(TitleBandColor(Rgb(200, 0, 0), Rgb(100, 0, 0), 1), Rgb(200, 0, 0));
    EXPECT_EQ(TitleBandColor(Rgb(200, 0, 0), Rgb(100, 0, 0), 3), Rgb(199, 0, 0));
    // Blue to black: red and green stay 0 while blue falls.
    EXPECT_EQ(TitleBandColor(Rgb(0, 0, 255), Rgb(0, 0, 0), 100), Rgb(0, 0, 156));
    EXPECT_EQ(TitleBandColor(Rgb(0, 0, 0), Rgb(0, 255, 0), 100), Rgb(0, 99, 0));
}

TEST(TitleBandColor, IgnoresTheTopByteAndGivesAFlatFillForEqualColours) {
    for (int32_t band = 0; band < kTitleBandCount; ++band) {
        EXPECT_EQ(TitleBandColor(0xFF336699u, 0x00336699u, band), 0x00336699u);
        EXPECT_EQ(TitleBandColor(0x12000000u, 0x34000000u, band), 0u);
    }
}

// Every row of a client area of `height` pixels belongs to exactly one band.
void ExpectRowsCoveredOnce(int32_t height) {
    const float step = TitleBandStep(height);
    std::vector<int> cover(static_cast<size_t>(height), 0);
    int32_t previous_bottom = 0;
    for (int32_t band = 0; band < kTitleBandCount; ++band) {
        const BandRows rows = TitleBandRows(band, step);
        ASSERT_EQ(rows.top, previous_bottom) << "height " << height << " band " << band;
        ASSERT_LE(rows.top, rows.bottom);
        // The integer floor of i * H / 256, for every height a screen can have.
        ASSERT_EQ(rows.top, static_cast<int32_t>((int64_t{band} * height) / 256));
        for (int32_t row = rows.top; row < rows.bottom; ++row)
            ++cover[static_cast<size_t>(row)];
        previous_bottom = rows.bottom;
    }
    EXPECT_EQ(previous_bottom, height);
    for (int32_t row = 0; row < height; ++row)
        ASSERT_EQ(cover[static_cast<size_t>(row)], 1) << "height " << height << " row " << row;
}

TEST(TitleBandRows, CoverEveryRowOnceAndEndAtTheBottomEdge) {
    for (int32_t height = 0; height <= 1200; ++height)
        ExpectRowsCoveredOnce(height);
    for (int32_t height : {1440, 2160, 4320, 8191, 65535})
        ExpectRowsCoveredOnce(height);
}

TEST(TitleBandRows, LowWindowsLeaveSomeBandsEmpty) {
    const float step = TitleBandStep(100);
    EXPECT_EQ(TitleBandRows(0, step).top, TitleBandRows(0, step).bottom); // 0 .. 0.39
    EXPECT_EQ(TitleBandRows(2, step).top, 0);
    EXPECT_EQ(TitleBandRows(2, step).bottom, 1);
    EXPECT_EQ(TitleBandRows(255, step).bottom, 100);
    const float step_768 = TitleBandStep(768);
    EXPECT_EQ(TitleBandRows(1, step_768).top, 3);
    EXPECT_EQ(TitleBandRows(1, step_768).bottom, 6);
}

} // namespace
