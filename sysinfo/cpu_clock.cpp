#include "sysinfo/cpu_clock.h"

#include <cstdio>
#include <cstring>

uint32_t mhz_average = 0;
uint32_t mhz_count = 0;
uint32_t mhz_text_offset = 0;
bool collecting = false;

uint32_t measure_mhz(const ClockSample& earlier, const ClockSample& later) {
    uint32_t cycles = later.tsc_low - earlier.tsc_low;
    uint32_t ms = later.ms - earlier.ms;
    if (ms == 0)
        return 0;
    uint32_t mhz = cycles / 1000 / ms;
    if (mhz == 0)
        mhz = 4295000u / ms;
    return mhz;
}

void add_to_mhz_average(uint32_t mhz) {
    mhz_average = (mhz + mhz_average * mhz_count) / (mhz_count + 1);
    mhz_count += 1;
}

void format_mhz(uint32_t mhz, char* buffer) {
    std::snprintf(buffer, kMhzTextWidth + 1, "%-5dMHz    ", static_cast<int>(mhz));
}

bool rewrite_mhz_text(char* text, size_t size, uint32_t mhz) {
    size_t length = strnlen(text, size);
    if (length == size || mhz_text_offset > length || length - mhz_text_offset < kMhzTextWidth)
        return false;
    char clock[kMhzTextWidth + 1];
    format_mhz(mhz, clock);
    std::memcpy(text + mhz_text_offset, clock, kMhzTextWidth);
    return true;
}

bool MhzTicker::tick(const ClockSample& now, uint32_t& mhz) {
    bool odd = (ticks & 1) != 0;
    ++ticks;
    ClockSample start = previous;
    previous = now;
    if (!odd)
        return false;
    mhz = measure_mhz(start, now);
    return now.ms != start.ms;
}

uint32_t next_shown_mhz(uint32_t shown, uint32_t measured) {
    if (measured + 20 > shown)
        return measured;
    if (measured * 21 / 20 > shown)
        return measured;
    return shown;
}
