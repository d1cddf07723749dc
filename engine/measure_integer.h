#pragma once
#include <cstdint>

#include "engine/measure.h"
// Test 0: 32-bit integer multiplication and division, in M operations per second.

// Runs 4 × m passes of 1 000 000 iterations in the work loop and again in the empty loop.
float integer_test(int m, const TestHooks& hooks);

// The run's quick calibration: passes of 500 000 iterations from the start values, timed as a
// whole; the speed q lies in 1..999.
float quick_integer_speed(int passes);
