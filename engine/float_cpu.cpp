#include <cpuid.h>

#include "engine/measure_float.h"

bool cpu_has_sse() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) != 0 && (d & bit_SSE) != 0;
}

// __get_cpuid checks that the extended leaf exists before reading it.
bool cpu_has_3dnow() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(0x80000001u, &a, &b, &c, &d) != 0 && (d & bit_3DNOW) != 0;
}
