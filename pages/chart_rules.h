#pragma once
#include <cstdint>
// The comparison chart's arithmetic, in pixels of the page's client area: the vertical scale,
// the grid and its labels, the bars clipped under the frame's top, and the bar colours with the
// shades of their three-dimensional borders.

constexpr int kRowStep = 20;     // pixels per grid step
constexpr int kBarTopLimit = 100; // no bar reaches above this line
constexpr int kGridTopLimit = 95; // the frame's top: no grid label above it
constexpr int kGridSteps = 21;    // grid lines 0 .. 20

// Grid steps per unit of relative speed: 8, 4, 2 or 1 by the larger overall score when
// auto-scaling is on, otherwise 1.
int chart_scale(float overall1, float overall2, bool auto_scale);

struct GridLine {
    int y;         // the horizontal line, from x = 30 to 600
    bool labelled; // a label stands at (7, label_y)
    int label_y;
    char label[16];
};
// The grid for a client area whose bottom is `bottom`: lines from the baseline up, stopping at
// the first whose label would stand above the frame's top. Returns how many were filled.
int grid_lines(int bottom, int scale, GridLine (&lines)[kGridSteps]);

// The top of a bar of `value` relative speed standing on the baseline bottom - 55; truncated
// toward zero and never above kBarTopLimit.
int bar_top(int bottom, int scale, float value);

struct Rgb {
    int red, green, blue;
};
// The two machines' colours from six successive values of the pseudo-random generator: a red
// for machine 1, a blue for machine 2.
void bar_colours(const int (&random)[6], Rgb& first, Rgb& second);

struct BarShades {
    Rgb outer_light, outer_dark, inner_light, inner_dark;
};
// Each component times 1.33, 0.8, 1.2 and 0.6, truncated, its low 8 bits kept.
BarShades bar_shades(Rgb colour);

// The bars in drawing order: the overall score, then the speed ratios of integer, floating
// point, memory, disk and DirectDraw; machine 1's left and right edge, then machine 2's.
struct BarSpan {
    int left1, right1, left2, right2;
};
constexpr int kBarRows = 6;
extern const BarSpan kBarSpans[kBarRows];
// The test whose ratio bar row r (1 .. 5) shows, as a TestKind.
extern const int kBarRowTest[kBarRows];
