#pragma once
#include <cstdint>
// The millisecond timer every measurement reads: timeGetTime on Windows, a monotonic clock
// elsewhere. Tests replace it to make time-dependent counts exact.
using MsTimer = uint32_t (*)();
extern MsTimer ms_timer;
uint32_t default_ms_timer();
