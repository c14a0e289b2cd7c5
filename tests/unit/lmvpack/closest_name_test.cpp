// "Did you mean": which slips find their name, and which words are too far from any.
#include "tools/lmvpack/support/closest_name.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kCommands = {"init",   "build",   "list",   "info",  "extract",
                                            "verify", "preview", "encode", "decode"};

TEST(ClosestName, FindsTheNameBehindCommonSlips) {
    EXPECT_EQ(ClosestName("biuld", kCommands), "build");  // two letters swapped
    EXPECT_EQ(ClosestName("bild", kCommands), "build");   // one left out
    EXPECT_EQ(ClosestName("builds", kCommands), "build"); // one too many
    EXPECT_EQ(ClosestName("verfy", kCommands), "verify");
    EXPECT_EQ(ClosestName("BUILD", kCommands), "build"); // letter case ignored
    EXPECT_EQ(ClosestName("top_colour", {"top_color", "bottom_color"}), "top_color");
    EXPECT_EQ(ClosestName("screen_saver", {"screensaver", "data"}), "screensaver");
    EXPECT_EQ(ClosestName("needs_direct_x", {"needs_directx"}), "needs_directx");
}

TEST(ClosestName, NamesNothingWhenEveryCandidateIsFarAway) {
    EXPECT_EQ(ClosestName("install", kCommands), "");
    EXPECT_EQ(ClosestName("x", kCommands), "");
    // Short words allow one edit only.
    EXPECT_EQ(ClosestName("lost", kCommands), "list");
    EXPECT_EQ(ClosestName("lsot", {"list"}), "");
    EXPECT_EQ(ClosestName("dat", {"name", "data"}), "data");
    EXPECT_EQ(ClosestName("colour", {"top_color", "bottom_color"}), "");
    EXPECT_EQ(ClosestName("anything", std::vector<std::string>{}), "");
}

TEST(ClosestName, DidYouMeanQuotesTheSuggestionOrSaysNothing) {
    EXPECT_EQ(DidYouMean("lsit", kCommands), "; did you mean \"list\"?");
    EXPECT_EQ(DidYouMean("frobnicate", kCommands), "");
}

} // namespace
