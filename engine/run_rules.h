#pragma once
#include <cstdint>

#include "engine/model.h"
// The parts of a benchmark run that need no window: the options read from the options page's
// check states, the bar brushes' colours, how far a bar is filled, and the order of the tests.

// The check states of the options page's option controls, as the run reads them.
struct OptionChecks {
    bool big_blocks = false;   // 1046
    bool buffered = false;     // 1048
    bool default_mode = false; // 1057
    bool current_mode = false; // 1054
    bool chosen_mode = false;  // 1059
    bool average = false;      // 1051
    bool business = false;     // 1050
    bool game = false;         // 1052
    bool use_3dnow = false;    // 1055
    bool use_sse = false;      // 1056
    bool triple = false;       // 1058
};

// Reads the checks into the options. Of the radio buttons of one group the last one in the order
// of reading that is on wins; with none on, the option keeps its previous value.
void read_option_checks(const OptionChecks& checks, TestOptions& options);

// The five bar colours as COLORREF values (0x00BBGGRR), indexed by TestKind. Each channel is
// random() % 128, with 128 added to the channels that name the test; the colours are drawn in
// the order integer, disk, floating point, DirectDraw, memory, each red, green, blue.
void make_bar_colours(int (*random)(), uint32_t colours[kTestCount]);

// The right edge of a bar filled `fraction` of `width` from `left`, truncated toward zero.
int bar_fill_right(int left, int width, double fraction);

// The tests in the order a run measures them.
constexpr TestKind kRunOrder[] = {kIntegerTest, kFloatTest, kMemoryTest, kDiskTest,
                                   kDirectDrawTest};
constexpr int kRunOrderCount = sizeof kRunOrder / sizeof kRunOrder[0];

// A display-mode entry of the options page, read with "%dX%d %dbit %d". Returns how many of the
// four numbers were read; an entry without a refresh number ("默认刷新率") leaves refresh as it
// was.
int parse_mode_text(const char* text, int& width, int& height, int& bits, int& refresh);
// The entry the options page preselects: the first entry, or the first 1024 × 768 16-bit entry
// at `refresh_rate` (an entry without a number counts as the default rate 0); -1 for no entries.
int preselected_mode(const char* const* entries, int count, int refresh_rate);
