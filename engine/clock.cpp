#include "engine/clock.h"

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>

uint32_t default_ms_timer() { return timeGetTime(); }

FinestTimerPeriod::FinestTimerPeriod() {
    TIMECAPS caps{};
    if (timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR)
        return;
    const unsigned period = caps.wPeriodMin > 1 ? caps.wPeriodMin : 1;
    if (timeBeginPeriod(period) == TIMERR_NOERROR)
        period_ = period;
}

FinestTimerPeriod::~FinestTimerPeriod() {
    if (period_ != 0)
        timeEndPeriod(period_);
}
#else
#include <ctime>

uint32_t default_ms_timer() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

FinestTimerPeriod::FinestTimerPeriod() = default;
FinestTimerPeriod::~FinestTimerPeriod() = default;
#endif

MsTimer ms_timer = default_ms_timer;
