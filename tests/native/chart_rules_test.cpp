#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pages/chart_rules.h"

namespace {
std::vector<std::string> labels_of(int bottom, int scale) {
    GridLine lines[kGridSteps];
    int n = grid_lines(bottom, scale, lines);
    std::vector<std::string> labels;
    for (int i = 0; i < n; ++i)
        labels.push_back(lines[i].labelled ? lines[i].label : "");
    return labels;
}
} // namespace

TEST(ComparisonChart, ScaleFollowsTheLargerOverallScoreOnlyWhenAutoScaling) {
    struct Case {
        float a, b;
        bool auto_scale;
        int scale;
    };
    const Case cases[] = {
        {1.5f, 0.2f, true, 8},   {0.2f, 1.5f, true, 8}, {1.50005f, 1.0f, true, 8},
        {1.5001f, 0.f, true, 4}, {1.6f, 1.0f, true, 4}, {2.0f, 0.f, true, 4},
        {2.001f, 0.f, true, 2},  {3.0f, 2.9f, true, 2}, {4.0f, 0.f, true, 2},
        {4.001f, 1.0f, true, 1}, {9.0f, 0.f, true, 1},  {0.5f, 0.5f, false, 1},
        {3.0f, 0.f, false, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chart_scale(c.a, c.b, c.auto_scale), c.scale)
            << c.a << " " << c.b << " auto " << c.auto_scale;
}

TEST(ComparisonChart, GridLabelsForEachScaleOnATallPage) {
    // 600 pixels leave room for all 21 lines; the baseline (i = 0) is never labelled.
    const std::vector<std::string> scale2 = {"",    "0.5", "1.0", "1.5", "2.0", "2.5", "3.0",
                                             "3.5", "4.0", "4.5", "5.0", "5.5", "6.0", "6.5",
                                             "7.0", "7.5", "8.0", "8.5", "9.0", "9.5", "10"};
    const std::vector<std::string> scale8 = {"", "",    "",    "", "0.5", "",    "",
                                             "", "1.0", "",    "", "",    "1.5", "",
                                             "", "",    "2.0", "", "",    "",    "2.5"};
    EXPECT_EQ(labels_of(600, 2), scale2);
    EXPECT_EQ(labels_of(600, 8), scale8);
    EXPECT_EQ(labels_of(600, 1)[10], "10");
    EXPECT_EQ(labels_of(600, 4)[2], "0.5");

    GridLine lines[kGridSteps];
    ASSERT_EQ(grid_lines(600, 1, lines), 21);
    EXPECT_EQ(lines[0].y, 545);
    EXPECT_EQ(lines[20].y, 145);
    EXPECT_EQ(lines[20].label_y, 138);
}

TEST(ComparisonChart, GridStopsAtTheFirstLabelAboveTheFrameTop) {
    // Bottom 300: label i stands at 238 - 20 i, so i = 7 (at 98) is the last above y = 95.
    GridLine lines[kGridSteps];
    ASSERT_EQ(grid_lines(300, 1, lines), 8);
    EXPECT_EQ(lines[7].label_y, 98);
    EXPECT_EQ(lines[7].y, 105);
    EXPECT_STREQ(lines[7].label, "7.0");
    // Exactly at 95 still counts: bottom 297 gives i = 7 at 95.
    EXPECT_EQ(grid_lines(297, 1, lines), 8);
    EXPECT_EQ(grid_lines(296, 1, lines), 7);
    // A page too short for any line draws no grid.
    EXPECT_EQ(grid_lines(150, 1, lines), 0);
}

TEST(ComparisonChart, BarsStandOnTheBaselineAndAreCutAtTheFrameTop) {
    // Bottom 400: the baseline is 345, each unit of scale 1 is 20 pixels.
    EXPECT_EQ(bar_top(400, 1, 0.0f), 345);
    EXPECT_EQ(bar_top(400, 1, 1.0f), 325);
    EXPECT_EQ(bar_top(400, 2, 1.0f), 305);
    EXPECT_EQ(bar_top(400, 8, 1.0f), 185);
    // 345 - 20 × 1.23 = 320.4, truncated toward zero.
    EXPECT_EQ(bar_top(400, 1, 1.23f), 320);
    // 245 pixels reach y = 100 exactly; more is cut there.
    EXPECT_EQ(bar_top(400, 1, 12.25f), 100);
    EXPECT_EQ(bar_top(400, 1, 12.3f), 100);
    EXPECT_EQ(bar_top(400, 8, 3.0f), 100);
    EXPECT_EQ(bar_top(400, 1, 1e30f), 100);
    EXPECT_EQ(bar_top(400, 1, 12.2f), 101);
    // Nothing to draw for a value that is no number or below zero: the bar stays on the baseline.
    EXPECT_EQ(bar_top(400, 1, -1.0f), 345);
    EXPECT_EQ(bar_top(400, 1, std::nanf("")), 345);
}

TEST(ComparisonChart, EveryDrawOfTheColoursGivesARedAndABlueWhoseShadesStayInOrder) {
    // Whatever the generator gives, machine 1 is red and machine 2 blue, and no shade wraps: the
    // light edges are never darker than the bar, the dark edges never lighter.
    for (int r = 0; r < 32768; r += 7) {
        const int random[6] = {r, r / 3, 32767 - r, r, 32767 - r, r / 5};
        Rgb first{}, second{};
        bar_colours(random, first, second);
        EXPECT_TRUE(first.red > first.green && first.red > first.blue) << r;
        EXPECT_TRUE(second.blue > second.red && second.blue > second.green) << r;
        for (const Rgb& c : {first, second}) {
            const BarShades s = bar_shades(c);
            for (int Rgb::*part : {&Rgb::red, &Rgb::green, &Rgb::blue}) {
                ASSERT_GE(s.outer_light.*part, s.inner_light.*part) << r;
                ASSERT_GE(s.inner_light.*part, c.*part) << r;
                ASSERT_LE(s.outer_dark.*part, c.*part) << r;
                ASSERT_LE(s.inner_dark.*part, s.outer_dark.*part) << r;
                ASSERT_LE(s.outer_light.*part, 255) << r;
            }
        }
    }
}
