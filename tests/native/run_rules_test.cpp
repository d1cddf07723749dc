#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "analysis/picture_rules.h"
#include "engine/run_rules.h"
// The window-free rules of a run, the logo and the score text.

namespace {

TEST(RunRules, OptionsFromChecksLastRadioOnWinsAndNoneKeepsThePreviousValue) {
    struct Case {
        const char* what;
        OptionChecks checks;
        TestOptions before;
        int ddraw_mode, average_method;
    };
    OptionChecks none{};
    OptionChecks two_modes{};
    two_modes.default_mode = two_modes.chosen_mode = true;
    OptionChecks current{};
    current.current_mode = current.business = true;
    OptionChecks all_weights{};
    all_weights.average = all_weights.business = all_weights.game = true;
    OptionChecks first_only{};
    first_only.default_mode = first_only.average = true;
    TestOptions previous{};
    previous.ddraw_mode = 2;
    previous.average_method = 1;
    const Case cases[] = {
        {"none on", none, previous, 2, 1},
        {"1057 and 1059 on", two_modes, TestOptions{}, 2, 0},
        {"1054 and 1050", current, TestOptions{}, 1, 1},
        {"all three weights", all_weights, TestOptions{}, 0, 2},
        {"first of each", first_only, previous, 0, 0},
    };
    for (const Case& c : cases) {
        TestOptions options = c.before;
        read_option_checks(c.checks, options);
        EXPECT_EQ(options.ddraw_mode, c.ddraw_mode) << c.what;
        EXPECT_EQ(options.average_method, c.average_method) << c.what;
    }

    OptionChecks boxes{};
    boxes.big_blocks = boxes.use_sse = boxes.triple = true;
    TestOptions options{};
    options.disk_cached = options.amd_3dnow = 1;
    read_option_checks(boxes, options);
    EXPECT_EQ(options.mem_block, 1);
    EXPECT_EQ(options.disk_cached, 0);
    EXPECT_EQ(options.amd_3dnow, 0);
    EXPECT_EQ(options.intel_sse, 1);
    EXPECT_EQ(options.test_3times, 1);
    EXPECT_EQ(option_flags(options), 0x1001u);
}

int scripted_calls = 0;
int scripted_random() { return 130 + scripted_calls++; } // 2, 3, 4, ... after % 128

TEST(RunRules, BarColoursComeInTheirOrderWithTheNamedChannelsLifted) {
    scripted_calls = 0;
    uint32_t colours[kTestCount] = {};
    make_bar_colours(scripted_random, colours);
    EXPECT_EQ(scripted_calls, 15);
    EXPECT_EQ(colours[kIntegerTest], 0x040382u);    // red + 128, drawn first
    EXPECT_EQ(colours[kDiskTest], 0x870605u);       // blue + 128
    EXPECT_EQ(colours[kFloatTest], 0x0A8908u);      // green + 128
    EXPECT_EQ(colours[kDirectDrawTest], 0x0D8C8Bu); // red and green + 128
    EXPECT_EQ(colours[kMemoryTest], 0x900F8Eu);     // red and blue + 128, drawn last
}

TEST(RunRules, BarFillTruncatesTheFractionOfTheWidth) {
    struct Case {
        int left, width;
        double fraction;
        int right;
    };
    const Case cases[] = {
        {10, 100, 0.255, 35},                                  // 25.5 truncated
        {0, 300, static_cast<double>(0.33333f), 99},           // plain float step
        {7, 100, 0.0, 7},
        {7, 100, 1.0, 107},
        {7, 100, 1.5, 107},
        {7, 100, -0.5, 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bar_fill_right(c.left, c.width, c.fraction), c.right) << c.fraction;
}

uint32_t rgb(int r, int g, int b) { return static_cast<uint32_t>(r << 16 | g << 8 | b); }

TEST(PictureRules, LogoKeyTurnsPixelsLessThan100DarkerThanTheKeyIntoTheFace) {
    const uint32_t face = rgb(0, 0, 0);
    const int w = 3;
    std::vector<uint32_t> pixels = {
        rgb(100, 200, 200), rgb(100, 201, 200), rgb(255, 255, 255),
        rgb(10, 10, 10),    rgb(200, 200, 200), rgb(201, 0, 0),
        rgb(250, 250, 200), rgb(0, 0, 199),     rgb(100, 200, 200),
    };
    key_to_face(pixels.data(), w, 3, face);
    EXPECT_EQ(pixels[0], rgb(100, 200, 200)); // exactly 100 darker: kept
    EXPECT_EQ(pixels[1], face);               // 99 darker
    EXPECT_EQ(pixels[2], face);               // brighter than the key
    EXPECT_EQ(pixels[3], rgb(10, 10, 10));    // black drawing stays
    EXPECT_EQ(pixels[4], face);               // the key itself
    EXPECT_EQ(pixels[5], rgb(201, 0, 0));     // 399 darker
    EXPECT_EQ(pixels[6], face);               // 100 brighter
    EXPECT_EQ(pixels[7], rgb(0, 0, 199));
    EXPECT_EQ(pixels[8], rgb(100, 200, 200)); // after the key changed: still against its old sum

    // A white key: white and near-white go, grey and black stay.
    std::vector<uint32_t> white = {rgb(255, 255, 255), rgb(250, 250, 250), rgb(222, 222, 221),
                                   rgb(255, 255, 255), rgb(0, 0, 0),       rgb(222, 222, 222)};
    key_to_face(white.data(), 2, 3, rgb(1, 2, 3));
    EXPECT_EQ(white, (std::vector<uint32_t>{rgb(1, 2, 3), rgb(1, 2, 3), rgb(222, 222, 221),
                                            rgb(1, 2, 3), rgb(0, 0, 0), rgb(1, 2, 3)}));

    std::vector<uint32_t> tiny = {rgb(9, 9, 9), rgb(255, 255, 255)};
    key_to_face(tiny.data(), 2, 1, face);
    EXPECT_EQ(tiny[1], rgb(255, 255, 255));
}

TEST(PictureRules, LogoSitsFortyInFromTheRightAndEightyUpFromTheBottomWithStrictBorders) {
    for (int size : {1, 50, 120}) {
        PixelRect r = test_page_logo_rect(600, 400, size, size / 2);
        EXPECT_EQ(r.right, 560);
        EXPECT_EQ(r.left, 560 - size);
        EXPECT_EQ(r.top, 320);
        EXPECT_EQ(r.bottom, 320 + size / 2);
    }
    PixelRect r = test_page_logo_rect(600, 400, 100, 50);
    EXPECT_TRUE(strictly_inside(r, 461, 321));
    EXPECT_TRUE(strictly_inside(r, 559, 369));
    EXPECT_FALSE(strictly_inside(r, 460, 330));
    EXPECT_FALSE(strictly_inside(r, 560, 330));
    EXPECT_FALSE(strictly_inside(r, 500, 320));
    EXPECT_FALSE(strictly_inside(r, 500, 370));
    // No logo: a 0 × 0 rectangle that nothing hits.
    PixelRect none = test_page_logo_rect(600, 400, 0, 0);
    EXPECT_FALSE(strictly_inside(none, 560, 320));
}

TEST(PictureRules, ScoreIsCentredOnItsFirstFourCharacters) {
    std::vector<int> counts;
    auto measure = [&counts](const char* text, int n) {
        counts.push_back(n);
        EXPECT_GE(static_cast<int>(std::strlen(text)), n);
        return TextSize{9 * n, 20};
    };
    struct Case {
        float mark;
        int w, h;
        const char* text;
        int x, y;
    };
    const Case cases[] = {
        {0.87f, 200, 100, "0.87", 82, 40},
        {12.34f, 200, 100, "12.34", 82, 40}, // five characters, measured as four: half a digit right
        {0.875f, 201, 101, "0.88", 82, 40},  // odd sizes truncate
        {1.0f, 10, 10, "1.00", -13, -5},     // wider than the client: toward zero
    };
    for (const Case& c : cases) {
        counts.clear();
        ScoreText score = layout_score(c.mark, c.w, c.h, measure);
        EXPECT_STREQ(score.text, c.text);
        EXPECT_EQ(score.x, c.x) << c.text;
        EXPECT_EQ(score.y, c.y) << c.text;
        EXPECT_EQ(counts, std::vector<int>{4}) << c.text;
    }
}

} // namespace
