#pragma once
#include <cstdint>
// The millisecond timer every measurement reads: timeGetTime on Windows, a monotonic clock
// elsewhere. Tests replace it to make time-dependent counts exact.
using MsTimer = uint32_t (*)();
extern MsTimer ms_timer;
uint32_t default_ms_timer();

// For its lifetime, asks the system timer for its finest period (1 ms where it can): NT-family
// Windows otherwise advances timeGetTime in steps of up to 16 ms, too coarse for timing single
// passes. Does nothing elsewhere.
class FinestTimerPeriod {
public:
    FinestTimerPeriod();
    ~FinestTimerPeriod();
    FinestTimerPeriod(const FinestTimerPeriod&) = delete;
    FinestTimerPeriod& operator=(const FinestTimerPeriod&) = delete;

private:
    unsigned period_ = 0; // 0: nothing was asked
};
