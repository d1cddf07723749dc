#include "engine/integer_kernel.h"

namespace {
constexpr int32_t kStartAlpha = 989;
constexpr int32_t kStartBeta = 12314;
constexpr int32_t kStartGamma = 9;
constexpr int32_t kStartDelta = 3333333;

// Volatile so that every step of the loops really loads and stores each operand and result.
volatile IntegerKernelState kernel{};

// 32-bit wrapping arithmetic, done unsigned so that overflow is defined.
inline int32_t wrap_mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t wrap_inc(int32_t a) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + 1u);
}

// Field by field, since the kernel's copy is volatile.
template <class To, class From> void copy_state(To& to, const From& from) {
    to.alpha = from.alpha;
    to.beta = from.beta;
    to.gamma = from.gamma;
    to.delta = from.delta;
    to.prod1 = from.prod1;
    to.prod2 = from.prod2;
    to.quot1 = from.quot1;
    to.quot2 = from.quot2;
}
} // namespace

// The measured body. integer_work_pass makes sure that alpha and gamma are neither 0 nor -1
// anywhere in the pass, so the divisions can neither fault nor overflow.
__attribute__((noinline)) void integer_work_iterations(int count) {
    for (int i = 0; i < count; ++i) {
        kernel.prod1 = wrap_mul(kernel.alpha, kernel.beta);
        kernel.prod2 = wrap_mul(kernel.beta, kernel.gamma);
        kernel.quot1 = kernel.beta / kernel.alpha;
        kernel.quot2 = kernel.prod1 / kernel.gamma;
        kernel.alpha = wrap_inc(kernel.alpha);
        kernel.beta = wrap_inc(kernel.beta);
        kernel.gamma = wrap_inc(kernel.gamma);
        kernel.delta = wrap_inc(kernel.delta);
    }
}

__attribute__((noinline)) void integer_empty_iterations(int count) {
    for (int i = 0; i < count; ++i) {
        kernel.prod2 = wrap_inc(kernel.prod2);
        kernel.delta = wrap_inc(kernel.delta);
        kernel.alpha = wrap_inc(kernel.alpha);
        kernel.gamma = wrap_inc(kernel.gamma);
    }
}

IntegerKernelState integer_kernel_state() {
    IntegerKernelState s;
    copy_state(s, kernel);
    return s;
}

void set_integer_kernel_state(const IntegerKernelState& s) {
    copy_state(kernel, s);
}

void reset_integer_kernel() {
    kernel.alpha = kStartAlpha;
    kernel.beta = kStartBeta;
    kernel.gamma = kStartGamma;
    kernel.delta = kStartDelta;
}

bool divisor_meets_trap(int32_t d, int count) {
    if (count <= 0)
        return false;
    uint32_t steps_to_minus_one = 0xFFFFFFFFu - static_cast<uint32_t>(d);
    return d == 0 || steps_to_minus_one < static_cast<uint32_t>(count);
}

// From the start values the divisors need 2^32 - 990 steps to reach -1, more than any amount
// below 1074 ever makes, so only larger amounts restart. A restarted pass divides the same
// operands as the first passes did: the work measured stays the same.
bool integer_work_pass(int count) {
    bool restart =
        divisor_meets_trap(kernel.alpha, count) || divisor_meets_trap(kernel.gamma, count);
    if (restart)
        reset_integer_kernel();
    integer_work_iterations(count);
    return restart;
}
