#pragma once
#include <ctime>

#include "sysinfo/cpu_clock.h"
#include "sysinfo/machine_info.h"
// Collects this machine's information through the platform: the computer name, CPUID and the
// time-stamp counter, DirectDraw, the drives, the registry, memory, the version read at start-up
// and the local time. Greys out the options page's SSE and 3DNow! boxes the processor cannot use.
// 1 on success, 0 when no DirectDraw object could be made (reported).
int collect_machine_info(char* text);

// One clock sample: the millisecond clock and the time-stamp counter. False, with nothing read,
// on a processor without the counter.
bool take_clock_sample(ClockSample& sample);

// Physical memory and the page file through the extended status (the plain one caps physical
// memory at 2 GB in 32-bit code); zeros when the query fails.
MemoryFacts memory_status();
std::tm local_time_now();
