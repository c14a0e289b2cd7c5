// The sample screen saver's portable parts: its colour file, its frames and the screen-saver
// command line.
#include "aurora_palette.h"
#include "aurora_render.h"
#include "saver_screen.h"
#include "screen_saver_arguments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(AuroraPalette, TakesTheSkyThenUpToSevenCurtainsAndIgnoresComments) {
    const AuroraPalette palette = ParseAuroraPalette("A comment line\r\n"
                                                     "#06102A  night sky\r\n"
                                                     "  #22e07a\tgreen\n"
                                                     "#12345   too short\n"
                                                     "#1234567 too long\n"
                                                     "#GG0000 not hex\n"
                                                     "colour #FF0000 not first on its line\n"
                                                     "#8A4CE8");
    EXPECT_EQ(palette.sky, (AuroraColour{0x06, 0x10, 0x2A}));
    ASSERT_EQ(palette.curtain_count, 2u);
    EXPECT_EQ(palette.curtains[0], (AuroraColour{0x22, 0xE0, 0x7A}));
    EXPECT_EQ(palette.curtains[1], (AuroraColour{0x8A, 0x4C, 0xE8}));

    std::string many;
    for (int i = 0; i < 12; ++i)
        many += "#0000" + std::string(1, static_cast<char>('0' + i % 10)) + "0\n";
    EXPECT_EQ(ParseAuroraPalette(many).curtain_count, AuroraPalette::kMaxCurtains);
}

TEST(AuroraPalette, TooFewColoursGiveTheDefault) {
    const AuroraPalette fallback = DefaultAuroraPalette();
    for (const char* text : {"", "no colours at all", "#102030 a sky alone", "\x00\x01\xFF"}) {
        const AuroraPalette palette = ParseAuroraPalette(text);
        EXPECT_EQ(palette.sky, fallback.sky) << text;
        EXPECT_EQ(palette.curtain_count, fallback.curtain_count) << text;
    }
}

TEST(AuroraPalette, TheSampleDataFileHoldsASkyAndFourCurtains) {
    std::ifstream file(LMV_SOURCE_DIR "/samples/aurora/aurora.dat", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const AuroraPalette palette = ParseAuroraPalette(text.str());
    EXPECT_EQ(palette.sky, (AuroraColour{0x06, 0x10, 0x2A}));
    EXPECT_EQ(palette.curtain_count, 4u);
}

uint8_t Red(uint32_t pixel) {
    return static_cast<uint8_t>(pixel >> 16);
}
uint8_t Green(uint32_t pixel) {
    return static_cast<uint8_t>(pixel >> 8);
}
uint8_t Blue(uint32_t pixel) {
    return static_cast<uint8_t>(pixel);
}

std::vector<uint32_t> Frame(const AuroraPalette& palette, uint32_t ms, int width = 160,
                            int height = 120) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width * height), 0xDEADBEEF);
    RenderAuroraFrame(palette, ms, width, height, pixels.data());
    return pixels;
}

// One pure green curtain over a sky of that colour.
AuroraPalette GreenCurtainOver(AuroraColour sky) {
    AuroraPalette palette{};
    palette.sky = sky;
    palette.curtains[0] = {0, 255, 0};
    palette.curtain_count = 1;
    return palette;
}

TEST(AuroraRender, DrawsInThePalettesColoursOnly) {
    // A black sky and a pure green curtain: red and blue can only come from the white stars,
    // which add the same to every channel.
    const std::vector<uint32_t> frame = Frame(GreenCurtainOver({0, 0, 0}), 12345);
    size_t lit = 0;
    for (const uint32_t pixel : frame) {
        ASSERT_EQ(pixel >> 24, 0u);
        EXPECT_EQ(Red(pixel), Blue(pixel));
        if (Green(pixel) > Red(pixel) + 40) ++lit;
    }
    EXPECT_GT(lit, frame.size() / 20) << "the curtain lights too little of the sky";
}

// The colour most of a row has (stars are few).
uint32_t RowColour(const std::vector<uint32_t>& frame, int row, int width = 160) {
    std::map<uint32_t, int> counts;
    for (int x = 0; x < width; ++x)
        ++counts[frame[static_cast<size_t>(row * width + x)]];
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

TEST(AuroraRender, TheSkyKeepsItsHueAndDarkensOverhead) {
    const std::vector<uint32_t> frame = Frame(GreenCurtainOver({0x40, 0x80, 0xC0}), 0);
    // The curtains hang between the top and the bottom rows, which show the sky alone.
    const uint32_t top = RowColour(frame, 0), bottom = RowColour(frame, 119);
    for (const uint32_t sky : {top, bottom}) {
        EXPECT_LT(Red(sky), Green(sky));
        EXPECT_LT(Green(sky), Blue(sky));
        EXPECT_NEAR(Blue(sky), 3 * Red(sky), 3);
    }
    EXPECT_LT(Blue(top), Blue(bottom));
}

TEST(AuroraRender, SameTimeSameFrameAndItMoves) {
    const AuroraPalette palette = DefaultAuroraPalette();
    EXPECT_EQ(Frame(palette, 5000), Frame(palette, 5000));
    EXPECT_NE(Frame(palette, 5000), Frame(palette, 5040));
    // Any size, down to one pixel, and nothing for none.
    EXPECT_EQ(Frame(palette, 1, 1, 1).size(), 1u);
    std::vector<uint32_t> untouched(4, 7);
    RenderAuroraFrame(palette, 1, 0, 4, untouched.data());
    EXPECT_EQ(untouched, std::vector<uint32_t>(4, 7));
}

// The virtual screen as Windows reports it to a per-monitor aware program, for set-ups of
// monitors of different sizes; the window must cover exactly that.
TEST(SaverScreen, CoversTheVirtualScreenOfEveryMonitor) {
    struct Case {
        ScreenArea virtual_screen;
        int primary_width, primary_height;
        ScreenArea covered;
    };
    for (const Case& c : {
             // A 1920x1080 monitor left of a 3840x2160 primary, tops aligned.
             Case{{-1920, 0, 5760, 2160}, 3840, 2160, {-1920, 0, 5760, 2160}},
             // A 1280x1024 monitor above-right of a 2560x1440 primary.
             Case{{0, -1024, 3840, 2464}, 2560, 1440, {0, -1024, 3840, 2464}},
             // One monitor.
             Case{{0, 0, 1920, 1080}, 1920, 1080, {0, 0, 1920, 1080}},
             // No virtual screen metrics (before Windows 98 and 2000): the primary screen.
             Case{{0, 0, 0, 0}, 1024, 768, {0, 0, 1024, 768}},
         }) {
        const ScreenArea area = CoveringArea(c.virtual_screen, c.primary_width, c.primary_height);
        EXPECT_EQ(area.left, c.covered.left);
        EXPECT_EQ(area.top, c.covered.top);
        EXPECT_EQ(area.width, c.covered.width);
        EXPECT_EQ(area.height, c.covered.height);
    }
}

// The frame keeps the window's proportions at most 320 wide, and the frame rate falls on
// large screens so that the pixels stretched per second stay those of 1920x1200 at 25 frames.
TEST(SaverScreen, PlansSmallFramesAndFewerOnLargeScreens) {
    struct Case {
        int width, height;
        FramePlan plan;
    };
    for (const Case& c : {
             Case{1920, 1080, {320, 180, 40}},
             Case{1920, 1200, {320, 200, 40}},
             Case{2560, 1440, {320, 180, 64}},
             Case{3840, 2160, {320, 180, 80}},
             Case{5760, 2160, {320, 120, 80}}, // two monitors side by side
             Case{152, 112, {152, 112, 40}},   // the display settings' preview
             Case{0, 0, {1, 1, 40}},
             Case{100000, 1, {320, 1, 40}},
         }) {
        const FramePlan plan = PlanFrames(c.width, c.height);
        EXPECT_EQ(plan.width, c.plan.width) << c.width << "x" << c.height;
        EXPECT_EQ(plan.height, c.plan.height) << c.width << "x" << c.height;
        EXPECT_EQ(plan.interval_ms, c.plan.interval_ms) << c.width << "x" << c.height;
    }
}

TEST(ScreenSaverArguments, FollowsTheConventions) {
    EXPECT_EQ(ParseScreenSaverArguments("/s").mode, ScreenSaverMode::kFullScreen);
    EXPECT_EQ(ParseScreenSaverArguments("-S").mode, ScreenSaverMode::kFullScreen);
    EXPECT_EQ(ParseScreenSaverArguments("  /S  ").mode, ScreenSaverMode::kFullScreen);

    const ScreenSaverArguments preview = ParseScreenSaverArguments("/p 1234");
    EXPECT_EQ(preview.mode, ScreenSaverMode::kPreview);
    EXPECT_EQ(preview.window, 1234u);
    EXPECT_EQ(ParseScreenSaverArguments("-P:987").window, 987u);
    // A preview without a window shows the settings instead.
    EXPECT_EQ(ParseScreenSaverArguments("/p").mode, ScreenSaverMode::kSettings);
    EXPECT_EQ(ParseScreenSaverArguments("/p 99999999999999999999999").mode,
              ScreenSaverMode::kSettings);

    for (const char* settings : {"", "   ", "/c", "-C", "/a", "nonsense"}) {
        const ScreenSaverArguments parsed = ParseScreenSaverArguments(settings);
        EXPECT_EQ(parsed.mode, ScreenSaverMode::kSettings) << settings;
        EXPECT_EQ(parsed.window, 0u) << settings;
    }
    const ScreenSaverArguments owned = ParseScreenSaverArguments("/c:5678");
    EXPECT_EQ(owned.mode, ScreenSaverMode::kSettings);
    EXPECT_EQ(owned.window, 5678u);
}

} // namespace
