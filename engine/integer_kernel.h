#pragma once
#include <cstdint>
// The integer test's kernel: four operands and four results in memory, and the two timed loops
// over them. Compiled apart from the test's driver so that the object-code check reads exactly
// these loops.

// The operands and results. They live in memory for the whole process so that every step of
// the loops loads and stores them; exposed for tests that need a particular state.
struct IntegerKernelState {
    int32_t alpha, beta, gamma, delta;
    int32_t prod1, prod2, quot1, quot2;
};
IntegerKernelState integer_kernel_state();
void set_integer_kernel_state(const IntegerKernelState& state);
// alpha, beta, gamma, delta back to 989, 12314, 9, 3333333.
void reset_integer_kernel();

// One pass of the work loop: count iterations of the measured body. When the divisors would
// reach 0 or -1 within the pass, the operands start again from their start values first.
// Returns true when it had to do that.
bool integer_work_pass(int count);
// Whether a divisor d stepping up by one for count iterations meets 0 or -1.
bool divisor_meets_trap(int32_t d, int count);

// The loops themselves: count iterations of the work body (integer_work_pass guards its
// divisors first) and of the empty body, which continues from the operands as they are.
void integer_work_iterations(int count);
void integer_empty_iterations(int count);
