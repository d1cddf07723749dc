// The information page's animation arithmetic: picture size, stripes, logo swing, the scrolling
// text and its split copy, the frame-rate limit, the idle drive and the version pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "infopage/about_anim.h"

namespace {

TEST(AboutStripes, PictureSideAndGreenRisingOverTheFirstQuarterFallingOverTheSecond) {
    const int sides[][2] = {{606, 604}, {607, 604}, {608, 608}, {3, 0}, {-5, 0}};
    for (const auto& s : sides)
        EXPECT_EQ(picture_side(s[0]), s[1]) << s[0];
    // 604 wide: half 302, quarter 151, 64/151 of green a column.
    struct Case {
        int x;
        long frames;
        int green;
    };
    const Case cases[] = {
        {2, 0, 32},   {3, 0, 33},   {151, 0, 96},  {152, 0, 95},     {302, 0, 32},
        {1, 150, 96}, {453, 0, 96}, {10, 292, 32}, {0, 1000000, 65}, {226, 0, 64},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stripe_green(c.x, c.frames, 604), c.green) << c.x << " after " << c.frames;
    // Too narrow for a quarter: no division by zero, and nothing drawn.
    for (int width : {0, 1, 2, 3})
        EXPECT_EQ(stripe_green(1, 5, width), 0) << width;
    // Over every column of a real width the colour stays inside its band and moves by at most
    // one step a column.
    for (int width : {404, 604, 1020}) {
        const int quarter = width / 4;
        for (int x = 0; x < width; ++x) {
            const int g = stripe_green(x, 7, width);
            EXPECT_GE(g, 32);
            EXPECT_LE(g, 96);
            EXPECT_LE(std::abs(g - stripe_green(x + 1, 7, width)), 64 / quarter + 1) << x;
        }
    }
}

TEST(AboutSprite, SwingsFromFrameThreeToZeroAndBackEvery160Frames) {
    const int edges[][2] = {{20, 3}, {21, 2},  {41, 1},  {60, 1},  {61, 0},
                            {99, 0}, {100, 1}, {120, 2}, {139, 2}, {140, 3}};
    for (const auto& e : edges)
        EXPECT_EQ(sprite_frame(e[0]), e[1]) << e[0];
    // The sequence of frames shown is 3, 2, 1, 0, 1, 2, 3 and repeats, also far along.
    std::vector<int> seen;
    for (long n = 0; n < 160; ++n) {
        EXPECT_EQ(sprite_frame(n), sprite_frame(n + 160)) << n;
        EXPECT_EQ(sprite_frame(n), sprite_frame(n + 160L * 13421772)) << n;
        if (seen.empty() || seen.back() != sprite_frame(n))
            seen.push_back(sprite_frame(n));
    }
    EXPECT_EQ(seen, (std::vector<int>{3, 2, 1, 0, 1, 2, 3}));
}

TEST(AboutInfoText, ScrollsARowEveryEightFramesAndSplitsNearTheEnd) {
    const long offsets[][2] = {
        {7, 677}, {8, 678}, {8 * 23, 0}, {5599, 676}, {5600L * 1000 + 8, 678}};
    for (const auto& o : offsets)
        EXPECT_EQ(info_scroll_offset(o[0]), o[1]) << o[0];

    struct Case {
        int offset;
        InfoBlit blit;
    };
    const Case cases[] = {
        {515, {1, {{515, 700, 85, 270}, {}}}},
        {516, {2, {{516, 700, 85, 269}, {0, 1, 269, 270}}}},
        {677, {2, {{677, 700, 85, 108}, {0, 162, 108, 270}}}},
        {699, {2, {{699, 700, 85, 86}, {0, 184, 86, 270}}}},
    };
    for (const Case& c : cases) {
        const InfoBlit b = info_blit(c.offset);
        ASSERT_EQ(b.count, c.blit.count) << c.offset;
        int rows = 0;
        for (int i = 0; i < b.count; ++i) {
            const RowCopy& got = b.copies[i];
            const RowCopy& want = c.blit.copies[i];
            EXPECT_EQ(std::vector<int>(
                          {got.source_top, got.source_bottom, got.dest_top, got.dest_bottom}),
                      std::vector<int>(
                          {want.source_top, want.source_bottom, want.dest_top, want.dest_bottom}))
                << c.offset << " copy " << i;
            rows += got.dest_bottom - got.dest_top;
        }
        EXPECT_EQ(rows, 185) << c.offset;
    }
}

TEST(AboutFrameClock, AboveAHundredFramesEveryOtherCallIsSkipped) {
    // Calls every 10/3 ms, 300 a second: the first draw at once, then every call until the
    // rate passes 100, and from then on every other one, 150 frames a second.
    FrameClock clock;
    clock.start(1000);
    std::vector<bool> drawn;
    for (int i = 0; i < 3000; ++i) {
        const long now = 1000 + i * 10L / 3;
        const bool draw = clock.admit();
        drawn.push_back(draw);
        if (draw)
            clock.count(now, 0);
    }
    EXPECT_TRUE(drawn[0]);
    EXPECT_EQ(clock.rate(), 150);
    for (int i = 1000; i + 1 < 3000; ++i)
        ASSERT_NE(drawn[i], drawn[i + 1]) << "calls " << i << " and " << i + 1;

    // The limit itself: 150 skips and becomes 100, 100 and 101 as they come.
    clock.set_rate(150);
    EXPECT_FALSE(clock.admit());
    EXPECT_EQ(clock.rate(), 100);
    EXPECT_TRUE(clock.admit());
    clock.set_rate(101);
    EXPECT_FALSE(clock.admit());

    // The rate over at least 50 ms, and without the time spent minimised.
    clock.start(0);
    clock.count(10, 0);
    EXPECT_EQ(clock.rate(), 20);
    clock.start(0);
    for (int i = 0; i < 99; ++i)
        clock.count(0, 900);
    clock.count(1000, 900);
    EXPECT_EQ(clock.frames(), 100);
    EXPECT_EQ(clock.rate(), 1000);
}

TEST(AboutIdle, DrawsEveryThousandthIdleCallOutsideTheNtFamily) {
    struct Case {
        bool nt;
        long count;
        int rate;
        bool minimized, active;
        bool draw, more;
    };
    const Case cases[] = {
        {false, 0, 0, false, true, true, true},        {false, 1000, 101, false, true, true, true},
        {false, 999, 50, false, true, false, true},    {false, 2000, 50, false, false, true, false},
        {false, 1000, 102, false, true, false, false}, {false, 1000, 50, true, true, false, false},
        {true, 1000, 50, false, true, false, false},
    };
    for (const Case& c : cases) {
        const IdleChoice got = about_idle_choice(c.nt, c.count, c.rate, c.minimized, c.active);
        EXPECT_EQ(got.draw, c.draw) << c.count << " " << c.rate;
        EXPECT_EQ(got.more, c.more) << c.count << " " << c.rate;
    }
}

TEST(AboutVersion, TwoPiecesNeverReadPastTheEndOrCutACharacter) {
    struct Case {
        const char* text;
        const char* left;
        const char* right;
    };
    const Case cases[] = {
        {"PC性能测试工具 kalvit 1.0", "PC性能测试工具", "kalvit 1.0"},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMN", "P"},
        {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMN", ""},
        {"kalvit 1.0", "kalvit 1.0", ""},
        // A character across byte 14 stays whole on the left's far side; one across byte 15
        // is not split either.
        {"ABCDEFGHIJKLM性能x", "ABCDEFGHIJKLM", "能x"},
        {"ABCDEFGHIJKLMN性能", "ABCDEFGHIJKLMN", "能"},
        {"ABCDEFGHIJKLMNO性", "ABCDEFGHIJKLMN", "性"},
    };
    for (const Case& c : cases) {
        const VersionPieces p = split_version(c.text);
        EXPECT_EQ(p.left, c.left) << c.text;
        EXPECT_EQ(p.right, c.right) << c.text;
        EXPECT_EQ(p.length, static_cast<int>(std::string(c.text).size())) << c.text;
    }
    // A lone lead byte at the end is not followed past the text.
    const VersionPieces lone = split_version("ABCDEFGHIJKLMN\xD0");
    EXPECT_EQ(lone.right, "");
    // 25 bytes in a picture 604 wide: the right piece at 504.
    EXPECT_EQ(version_right_x(604, 25), 504);
}

} // namespace
