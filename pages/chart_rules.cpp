#include "pages/chart_rules.h"

#include <cstdio>

#include "engine/model.h"

const BarSpan kBarSpans[kBarRows] = {
    {70, 110, 130, 170},  {279, 299, 306, 326}, {347, 367, 374, 394},
    {415, 435, 442, 462}, {483, 503, 510, 530}, {551, 571, 578, 598},
};
// Row 0 is the overall score and has no test of its own.
const int kBarRowTest[kBarRows] = {-1, kIntegerTest, kFloatTest, kMemoryTest, kDiskTest,
                                   kDirectDrawTest};

int chart_scale(float overall1, float overall2, bool auto_scale) {
    if (!auto_scale)
        return 1;
    const float m = overall1 > overall2 ? overall1 : overall2;
    if (m < 1.5001f)
        return 8;
    if (m < 2.001f)
        return 4;
    if (m < 4.001f)
        return 2;
    return 1;
}

int grid_lines(int bottom, int scale, GridLine (&lines)[kGridSteps]) {
    if (scale < 1)
        scale = 1;
    int n = 0;
    for (int i = 0; i < kGridSteps; ++i) {
        const int label_y = bottom - 62 - kRowStep * i;
        if (label_y < kGridTopLimit)
            break;
        GridLine& line = lines[n++];
        line.y = bottom - 55 - kRowStep * i;
        line.label_y = label_y;
        line.labelled = i > 0 && (2 * i) % scale == 0;
        line.label[0] = '\0';
        if (!line.labelled)
            continue;
        if (i / scale >= 10)
            std::snprintf(line.label, sizeof line.label, "%d", i / scale);
        else
            std::snprintf(line.label, sizeof line.label, "%3.1f",
                          static_cast<double>(i) / scale);
    }
    return n;
}

int bar_top(int bottom, int scale, float value) {
    const int baseline = bottom - 55;
    if (!(value > 0.0f))
        return baseline;
    // Each step rounded to single precision, so that the x87 build's extended registers draw the
    // same pixels as SSE does.
    volatile float rounded = value;
    volatile float height = static_cast<float>(kRowStep * scale) * rounded;
    volatile float top = static_cast<float>(baseline) - height;
    // Anything at or above the limit, a height too large for an int included, stops there.
    if (top <= kBarTopLimit)
        return kBarTopLimit;
    return static_cast<int>(top);
}

void bar_colours(const int (&random)[6], Rgb& first, Rgb& second) {
    first = {160 + random[0] % 32, random[1] % 64, random[2] % 64};
    second = {32 + random[3] % 64, 32 + random[4] % 64, 160 + random[5] % 32};
}

namespace {
int shade(int component, float factor) {
    return static_cast<int>(static_cast<float>(component) * factor) & 0xFF;
}

Rgb shade(Rgb c, float factor) {
    return {shade(c.red, factor), shade(c.green, factor), shade(c.blue, factor)};
}
} // namespace

BarShades bar_shades(Rgb colour) {
    return {shade(colour, 1.33f), shade(colour, 0.8f), shade(colour, 1.2f), shade(colour, 0.6f)};
}
