#pragma once
#include <cstddef>
#include <cstdint>
// The processor clock in MHz: time-stamp-counter cycles against the millisecond clock, the
// running average over the machine-information collections, and the fixed-width clock text
// that later measurements rewrite in place.

struct ClockSample {
    uint32_t ms;       // the multimedia millisecond time
    uint32_t tsc_low;  // the time-stamp counter's low and high words
    uint32_t tsc_high;
};

// MHz between two samples in unsigned 32-bit arithmetic; a result of 0 becomes 4295000 / ms.
// An interval of 0 ms gives no value: 0, without dividing.
uint32_t measure_mhz(const ClockSample& earlier, const ClockSample& later);

// Process-wide, 0 at start.
extern uint32_t mhz_average;
extern uint32_t mhz_count;
// Where the measured clock text sits in the current machine's information text.
extern uint32_t mhz_text_offset;
// A collection of machine information is running; the information dialog leaves the text alone.
extern bool collecting;

// Folds a collection's measurement into the running average (truncating) and counts it.
void add_to_mhz_average(uint32_t mhz);

// "%-5dMHz    ": twelve characters for any value of up to five digits.
constexpr int kMhzTextWidth = 12;
// Into a buffer of at least kMhzTextWidth + 1 bytes.
void format_mhz(uint32_t mhz, char* buffer);
// Overwrites the clock text at mhz_text_offset of a NUL-terminated text without its NUL, so the
// items after it stay where they are. Nothing is written unless the whole width lies inside the
// text. True when written.
bool rewrite_mhz_text(char* text, size_t size, uint32_t mhz);

// The dialogs' periodic re-measurement: an even tick takes the starting sample, the next odd
// tick measures from it. Returns true with mhz set on an odd tick whose interval was not 0 ms.
struct MhzTicker {
    uint32_t ticks = 0;
    ClockSample previous{};
    bool tick(const ClockSample& now, uint32_t& mhz);
};

// The analysis dialog's shown value: it rises at once and falls only for a small drop.
uint32_t next_shown_mhz(uint32_t shown, uint32_t measured);
