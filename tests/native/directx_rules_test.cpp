#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/blit_loop.h"
#include "engine/blit_rules.h"
#include "engine/dx_errors.h"
#include "engine/measure.h"
#include "engine/pixel_format.h"
#include "engine/run_rules.h"
// The DirectDraw test's arithmetic, the mode list's texts, the colour conversions and the names
// of DirectDraw's result codes.

namespace {

int counted_calls = 0;
int counting_random() {
    return counted_calls++;
}

TEST(BlitRules, GridCoversTheModeAndPositionsDrawXBeforeY) {
    const int grids[][4] = {{1024, 768, 8, 6}, {800, 600, 7, 5}, {128, 129, 1, 2}, {1, 1, 1, 1}};
    for (const auto& g : grids) {
        TileGrid grid = tile_grid(g[0], g[1]);
        EXPECT_EQ(grid.columns * 100 + grid.rows, g[2] * 100 + g[3]) << g[0] << "x" << g[1];
    }
    counted_calls = 0;
    std::vector<int> x(kTilePositions), y(kTilePositions);
    draw_tile_positions(counting_random, TileGrid{7, 5}, x.data(), y.data());
    EXPECT_EQ(counted_calls, 2 * kTilePositions);
    for (int i = 0; i < kTilePositions; ++i) {
        ASSERT_EQ(x[i], (2 * i) % 7 * 128) << i;
        ASSERT_EQ(y[i], (2 * i + 1) % 5 * 128) << i;
    }
}

TEST(BlitRules, CapturePointIsTheFirstWholeTileOnTheScreen) {
    struct Case {
        const char* what;
        int width, height;
        std::vector<Point> first; // the leading positions; the rest lie far off the screen
        Point expected;
    };
    const Case cases[] = {
        {"right and bottom edges", 800, 600, {{768, 0}, {0, 512}, {672, 472}}, {672, 472}},
        {"first of two", 800, 600, {{128, 256}, {0, 0}}, {128, 256}},
        {"left and above", 800, 600, {{-1, 0}, {0, -128}, {256, 128}}, {256, 128}},
        {"none", 800, 600, {{673, 0}, {0, 473}}, {300, 200}},
        {"narrower than a tile", 127, 600, {{0, 0}}, {300, 200}},
        {"lower than a tile", 800, 100, {{0, 0}}, {300, 200}},
    };
    for (const Case& c : cases) {
        std::vector<int> x(kTilePositions, 1 << 20), y(kTilePositions, 1 << 20);
        for (size_t i = 0; i < c.first.size(); ++i) {
            x[i] = c.first[i].x;
            y[i] = c.first[i].y;
        }
        EXPECT_EQ(capture_point(x.data(), y.data(), c.width, c.height), c.expected) << c.what;
    }
}

TEST(BlitRules, TilesAreCutAtTheModesEdgeAndTheEffectRatioCountsTheCut) {
    // At 800 × 600 the last column keeps 32 pixels and the last row 88.
    struct Case {
        int x, y;
        BlitRect destination, source;
    };
    for (const Case& c : {Case{768, 512, {768, 512, 800, 600}, {0, 0, 32, 88}},
                          Case{640, 384, {640, 384, 768, 512}, {0, 0, 128, 128}},
                          Case{0, 512, {0, 512, 128, 600}, {0, 0, 128, 88}}}) {
        BlitRect destination = blit_destination(c.x, c.y, 800, 600);
        EXPECT_EQ(destination, c.destination) << c.x << "," << c.y;
        EXPECT_EQ(blit_source(destination), c.source) << c.x << "," << c.y;
    }
    EXPECT_EQ(effect_ratio(1024, 768), 1.0f);
    EXPECT_NEAR(effect_ratio(800, 600), 0.837054f, 1e-6f); // 480000 of 35 tiles' 573440 pixels
    char text[16];
    std::snprintf(text, sizeof text, "%4.2f", effect_ratio(800, 600));
    EXPECT_STREQ(text, "0.84");
}

TEST(BlitRules, FramesTimesAndSpeeds) {
    EXPECT_EQ(blit_frames(1), 2);
    EXPECT_EQ(blit_frames(2), 5);
    EXPECT_EQ(blit_frames(3), 7);
    // Work and empty times to the net time: an empty loop 5 ms longer than the work wraps to the
    // longest time, so two frames make 0.128 MB/s, not 12 800 capped at 9999.
    const uint32_t times[][3] = {{20, 25, 1000000}, {20, 15, 10}, {500, 100, 400}};
    for (const auto& t : times)
        EXPECT_EQ(net_time(t[0], t[1]), t[2]) << t[0] << " - " << t[1];
    EXPECT_EQ(clamp_blit_speed(blit_speed(2, net_time(20, 25), 16)), 0.128f);

    // 64000 × frames / ms for two bytes a pixel; 15 bits count as two bytes, 24 as three. The
    // speed is rounded to float once, not at every step (96000 / 13).
    struct Case {
        int frames, ms, bits;
        float speed;
    };
    for (Case c : {Case{2, 1000, 16, 128.0f}, Case{2, 1000, 15, 128.0f}, Case{2, 1000, 24, 192.0f},
                   Case{2, 1000, 32, 256.0f}, Case{1, 13, 24, 7384.6152f},
                   Case{100000, 10, 32, 1.28e9f}, Case{2, 0, 16, 12800.0f}}) // 0 ms counts as 10
        EXPECT_EQ(blit_speed(c.frames, c.ms, c.bits), c.speed) << c.frames << " " << c.ms;

    const float speeds[][2] = {{9999.5f, 9999}, {9998.5f, 9998.5f}, {0.05f, 0.1f}, {NAN, 0.1f}};
    for (const auto& s : speeds)
        EXPECT_EQ(clamp_blit_speed(s[0]), s[1]) << s[0];
}

TEST(BlitRules, ModeListTextsAndWhichModesAreListed) {
    EXPECT_TRUE(mode_is_listed(640, 480, 15));
    EXPECT_FALSE(mode_is_listed(639, 480, 16));
    EXPECT_FALSE(mode_is_listed(640, 479, 32));
    EXPECT_FALSE(mode_is_listed(1024, 768, 14));

    // Both texts read back through the options page's parser; the default rate has no number.
    struct Case {
        int refresh;
        const char* text;
        int fields, parsed_refresh;
    };
    for (Case c : {Case{75, "1024X768 16bit 75HZ", 4, 75},
                   Case{0, "1024X768 16bit \xC4\xAC\xC8\xCF\xCB\xA2\xD0\xC2\xC2\xCA", 3, -1}}) {
        char text[64];
        mode_list_text(1024, 768, 16, c.refresh, text, sizeof text);
        EXPECT_STREQ(text, c.text); // GBK 默认刷新率 at rate 0
        int width = 0, height = 0, bits = 0, refresh = -1;
        EXPECT_EQ(parse_mode_text(text, width, height, bits, refresh), c.fields) << c.refresh;
        EXPECT_EQ(width * 10000 + height * 10 + bits, 10247696);
        EXPECT_EQ(refresh, c.parsed_refresh);
    }
}

// What the frame loop did: every blit's rectangles, the relabelled frames, and when to fail or
// to ask for a stop.
struct LoopLog {
    std::vector<std::pair<BlitRect, BlitRect>> blits;
    std::vector<int> relabels;
    size_t fail_at = SIZE_MAX;
    int stop_after_frame = -1;
    volatile int stop = 0;
};
bool logged_blit(void* context, const BlitRect& destination, const BlitRect& source) {
    auto& log = *static_cast<LoopLog*>(context);
    log.blits.emplace_back(destination, source);
    return log.blits.size() != log.fail_at;
}
void logged_relabel(void* context, int frame) {
    auto& log = *static_cast<LoopLog*>(context);
    log.relabels.push_back(frame);
    if (frame == log.stop_after_frame)
        log.stop = 1;
}

TEST(BlitLoop, EveryFrameBlitsEveryPositionThenRelabelsAndStopsOrFailsOnTime) {
    static int x[kTilePositions], y[kTilePositions];
    for (int i = 0; i < kTilePositions; ++i) {
        x[i] = (i % 7) * kTileSize;
        y[i] = (i / 7 % 5) * kTileSize;
    }
    const BlitCalls calls{logged_blit, logged_relabel, nullptr};
    auto run = [&](LoopLog& log, int frames) {
        BlitCalls c = calls;
        c.context = &log;
        return run_blit_frames(frames, &log.stop, x, y, 800, 600, c);
    };

    LoopLog whole;
    BlitLoopResult r = run(whole, 3);
    EXPECT_EQ(r.frames, 3);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(whole.relabels, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(whole.blits.size(), 3u * kTilePositions);
    // Position 6 is in the last column, 34 in the last row: cut to 32 and 88 pixels.
    EXPECT_EQ(whole.blits[6].first, (BlitRect{768, 0, 800, 128}));
    EXPECT_EQ(whole.blits[6].second, (BlitRect{0, 0, 32, 128}));
    EXPECT_EQ(whole.blits[kTilePositions + 34].first, (BlitRect{768, 512, 800, 600}));
    EXPECT_EQ(whole.blits[kTilePositions + 34].second, (BlitRect{0, 0, 32, 88}));

    // A stop asked during a frame ends the loop at the next frame boundary.
    LoopLog stopped;
    stopped.stop_after_frame = 0;
    EXPECT_EQ(run(stopped, 3).frames, 1);
    EXPECT_EQ(stopped.blits.size(), static_cast<size_t>(kTilePositions));
    LoopLog before;
    before.stop = 1;
    EXPECT_EQ(run(before, 3).frames, 0);
    EXPECT_TRUE(before.blits.empty());

    // A failed blit ends the loop at once and names its rectangles; its frame does not count.
    LoopLog failing;
    failing.fail_at = 2 * kTilePositions + 7;
    r = run(failing, 3);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.frames, 2);
    EXPECT_EQ(failing.relabels, (std::vector<int>{0, 1}));
    EXPECT_EQ(r.destination, (BlitRect{768, 0, 800, 128})); // the 7th blit: position 6
    EXPECT_EQ(r.source, (BlitRect{0, 0, 32, 128}));
}

TEST(PixelFormat, MasksGiveShiftsAndScales) {
    // Masks red, green, blue; then shifts and scales. Bits shared by two masks go to the first.
    const uint32_t cases[][9] = {
        {0xF800, 0x07E0, 0x001F, 11, 5, 0, 32, 64, 32},
        {0x7C00, 0x03E0, 0x001F, 10, 5, 0, 32, 32, 32},
        {0xFF0000, 0xFF00, 0xFF, 16, 8, 0, 256, 256, 256},
        {0x001F, 0x07E0, 0xF800, 0, 5, 11, 32, 64, 32},
        {0x00FF, 0x0FF0, 0xF000, 0, 8, 12, 256, 16, 16},
    };
    for (const auto& c : cases) {
        ChannelLayout layout = analyse_masks(c[0], c[1], c[2]);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(layout.shift[k], static_cast<int>(c[3 + k])) << std::hex << c[0] << " " << k;
            EXPECT_EQ(layout.scale[k], static_cast<int>(c[6 + k])) << std::hex << c[0] << " " << k;
        }
    }
}

TEST(PixelFormat, ColoursAndPixelsConvertBothWays) {
    const ChannelLayout l565 = analyse_masks(0xF800, 0x07E0, 0x001F);
    const ChannelLayout l555 = analyse_masks(0x7C00, 0x03E0, 0x001F);
    const ChannelLayout l888 = analyse_masks(0xFF0000, 0xFF00, 0xFF);
    const ChannelLayout top = analyse_masks(0xFF000000, 0xFF0000, 0xFF00);
    const ChannelLayout all_red = analyse_masks(0xFFFFFFFF, 0, 0); // a scale of 2^32
    struct Case {
        const ChannelLayout& layout;
        uint32_t colour, pixel, back;
    };
    for (const Case& c :
         {Case{l565, 0x0000FF, 0xF800, 0x0000F8}, Case{l565, 0xFFFFFF, 0xFFFF, 0xF8FCF8},
          Case{l565, 0x808080, 0x8410, 0x808080}, Case{l565, 0x070307, 0x0000, 0x000000},
          Case{l555, 0xFFFFFF, 0x7FFF, 0xF8F8F8}, Case{l888, 0x123456, 0x563412, 0x123456},
          Case{top, 0x0000FF, 0xFF000000, 0x0000FF},
          Case{all_red, 0x0000FF, 0xFF000000, 0x0000FF}}) {
        EXPECT_EQ(colour_to_pixel(c.layout, c.colour), c.pixel) << std::hex << c.colour;
        EXPECT_EQ(pixel_to_colour(c.layout, c.pixel), c.back) << std::hex << c.pixel;
    }
    // Every 16-bit pixel survives the way to a colour and back, and so does every 24-bit colour.
    for (uint32_t p = 0; p <= 0xFFFF; ++p) {
        ASSERT_EQ(colour_to_pixel(l565, pixel_to_colour(l565, p)), p) << std::hex << p;
        ASSERT_EQ(colour_to_pixel(l555, pixel_to_colour(l555, p & 0x7FFF)), p & 0x7FFF);
    }
    for (uint32_t c = 0; c <= 0xFFFFFF; c += 0x010307)
        ASSERT_EQ(pixel_to_colour(l888, colour_to_pixel(l888, c)), c) << std::hex << c;
}

const std::pair<uint32_t, const char*> kBuiltin[] = {
    {0, " DD_OK"},
    {0x80004005u, " DDERR_GENERIC"},
    {0x80070057u, " DDERR_INVALIDPARAMS"},
    {0x8007000Eu, " DDERR_OUTOFMEMORY"},
    {0x80004001u, " DDERR_UNSUPPORTED"},
    {0x800401F0u, " DDERR_NOTINITIALIZED"},
};

TEST(DxErrors, SixCodesAreNamedDirectlyWithALeadingBlank) {
    for (auto [code, name] : kBuiltin)
        EXPECT_STREQ(builtin_dx_error_name(code), name) << name;
    for (uint32_t other : {1u, 0x887601C2u, 0x80004006u})
        EXPECT_EQ(builtin_dx_error_name(other), nullptr) << std::hex << other;
}

TEST(DxErrors, FileLookupTakesTheFirstLineOfFourFieldsWithTheNumber) {
    // Read in pieces of 255 bytes, a long line's last piece would look like a line of its own.
    std::string long_line = std::string(510, '#') + std::string(10, ' ') + "x DDERR_TAIL = 9";
    long_line.resize(600, ' ');
    struct Case {
        const char* what;
        std::string text;
        uint32_t code;
        const char* name; // null: not found
    };
    const Case cases[] = {
        {"number 250", "0x887600FA DDERR_A = 250\r\n", 0x887600FAu, "DDERR_A"},
        {"unknown code", "0x887600FA DDERR_A = 250\r\n", 0x887600FBu, nullptr},
        {"first of two", "x DDERR_ONE = 7\nx DDERR_TWO = 7\n", 0x88760007u, "DDERR_ONE"},
        {"three fields", "x DDERR_THREE 0\nx DDERR_FOUR = 0\n", 0x88760000u, "DDERR_FOUR"},
        {"last line unended", "x DDERR_A = 1\nx DDERR_END = 9", 0x88760009u, "DDERR_END"},
        {"255-byte line", "x DDERR_FULL = 9" + std::string(239, ' ') + "\r\n", 0x88760009u,
         "DDERR_FULL"},
        {"600-byte line", long_line + "\nx DDERR_AFTER = 9\n", 0x88760009u, "DDERR_AFTER"},
        {"600-byte word", "x " + std::string(600, 'N') + " = 9\n", 0x88760009u, nullptr},
        {"a 0 byte in the line before", std::string("x DDERR_A\0 = 4\n", 15) + "x DDERR_B = 5\n",
         0x88760005u, "DDERR_B"},
    };
    for (const Case& c : cases) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        std::fwrite(c.text.data(), 1, c.text.size(), file);
        std::rewind(file);
        std::string name = "kept";
        EXPECT_EQ(find_dx_error(file, c.code, name) == DxLookup::found, c.name != nullptr)
            << c.what;
        EXPECT_EQ(name, c.name ? c.name : "kept") << c.what;
        std::fclose(file);
    }
}

TEST(DxErrors, DeliveredFileNamesDirectDrawsOwnCodesOnly) {
    std::FILE* file = std::fopen(KALVIT_DDERR_FILE, "rb");
    ASSERT_NE(file, nullptr) << KALVIT_DDERR_FILE;
    std::string name;
    EXPECT_EQ(find_dx_error(file, 0x887601C2u, name), DxLookup::found);
    EXPECT_EQ(name, "DDERR_SURFACELOST");
    // Every line's code agrees with its number, and the codes shared with COM are not there.
    std::rewind(file);
    char line[256], hex[256], field[256], equals[256];
    int number = 0, lines = 0;
    for (; std::fgets(line, sizeof line, file) != nullptr; ++lines) {
        ASSERT_EQ(std::sscanf(line, "%255s %255s %255s %d", hex, field, equals, &number), 4);
        EXPECT_EQ(std::strtoul(hex, nullptr, 16), 0x88760000u | number) << line;
        for (auto [code, builtin_name] : kBuiltin)
            EXPECT_STRNE(field, builtin_name + 1);
    }
    EXPECT_GT(lines, 100);
    std::fclose(file);
}

} // namespace
