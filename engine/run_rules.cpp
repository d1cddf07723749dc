#include "engine/run_rules.h"

#include <cmath>
#include <cstdio>

void read_option_checks(const OptionChecks& c, TestOptions& options) {
    options.mem_block = c.big_blocks ? 1 : 0;
    options.disk_cached = c.buffered ? 1 : 0;
    if (c.default_mode)
        options.ddraw_mode = 0;
    if (c.current_mode)
        options.ddraw_mode = 1;
    if (c.chosen_mode)
        options.ddraw_mode = 2;
    if (c.average)
        options.average_method = 0;
    if (c.business)
        options.average_method = 1;
    if (c.game)
        options.average_method = 2;
    options.amd_3dnow = c.use_3dnow ? 1 : 0;
    options.intel_sse = c.use_sse ? 1 : 0;
    options.test_3times = c.triple ? 1 : 0;
}

namespace {
struct Lift {
    TestKind test;
    bool red, green, blue;
};
constexpr Lift kColourOrder[kTestCount] = {
    {kIntegerTest, true, false, false},   {kDiskTest, false, false, true},
    {kFloatTest, false, true, false},     {kDirectDrawTest, true, true, false},
    {kMemoryTest, true, false, true},
};

uint32_t channel(int (*random)(), bool lifted) {
    return static_cast<uint32_t>(random() % 128) + (lifted ? 128u : 0u);
}
} // namespace

void make_bar_colours(int (*random)(), uint32_t colours[kTestCount]) {
    for (const Lift& lift : kColourOrder) {
        uint32_t red = channel(random, lift.red);
        uint32_t green = channel(random, lift.green);
        uint32_t blue = channel(random, lift.blue);
        colours[lift.test] = red | (green << 8) | (blue << 16);
    }
}

int bar_fill_right(int left, int width, double fraction) {
    double filled = fraction * width;
    if (!std::isfinite(filled) || filled <= 0.0)
        return left;
    if (filled >= width)
        return left + width;
    return left + static_cast<int>(filled);
}

int parse_mode_text(const char* text, int& width, int& height, int& bits, int& refresh) {
    int n = std::sscanf(text, "%dX%d %dbit %d", &width, &height, &bits, &refresh);
    return n < 0 ? 0 : n;
}

int preselected_mode(const char* const* entries, int count, int refresh_rate) {
    if (count <= 0)
        return -1;
    for (int i = 0; i < count; ++i) {
        int width = 0, height = 0, bits = 0, refresh = 0;
        if (parse_mode_text(entries[i], width, height, bits, refresh) >= 3 && width == 1024 &&
            height == 768 && bits == 16 && refresh == refresh_rate)
            return i;
    }
    return 0;
}
