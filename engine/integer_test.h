#pragma once
#include <cstdint>

#include "engine/measure.h"
// Test 0: 32-bit integer multiplication and division, in M operations per second.

// Runs 4 × m passes of 1 000 000 iterations in the work loop and again in the empty loop.
float integer_test(int m, const TestHooks& hooks);

// The run's quick calibration: passes of 500 000 iterations from the start values, timed as a
// whole; the speed q lies in 1..999.
float quick_integer_speed(int passes);

// The kernel's operands and results. They live in memory for the whole process so that every
// step of the loops loads and stores them; exposed for tests that need a particular state.
struct IntegerKernelState {
    int32_t alpha, beta, gamma, delta;
    int32_t prod1, prod2, quot1, quot2;
};
IntegerKernelState integer_kernel_state();
void set_integer_kernel_state(const IntegerKernelState& state);
void reset_integer_kernel();

// One pass of the work loop: count iterations of the measured body. When the divisors would
// reach 0 or -1 within the pass, the operands start again from their start values first.
// Returns true when it had to do that.
bool integer_work_pass(int count);
// Whether a divisor d stepping up by one for count iterations meets 0 or -1.
bool divisor_meets_trap(int32_t d, int count);
