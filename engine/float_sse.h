#pragma once
#include <xmmintrin.h>

#include "engine/float_loops.h"
// The SSE kernels: scalar single precision on element 0 of their vectors, with the reciprocal
// estimate in place of every division.

// Real calls, never inlined or specialised: the call is part of the measured work. Vectors
// travel in XMM registers and results come back in XMM0 on every target (KALVIT_XMM_CC).
#define KALVIT_XMM_ABI __attribute__((noipa)) KALVIT_XMM_CC

// Results for x ≤ 0: ±0 gives 0 for y > 0, 1 for y = 0 and 3.4028235e38 (saturated like any
// overflow) for y < 0; a negative x gives ±|x|^y for an integral y (negative when y is odd) and
// NaN otherwise. Results beyond the float range saturate at 3.4028235e38; below 2^-126 they are 0.
KALVIT_XMM_ABI __m128 sse_power(__m128 x, __m128 y);
// ln x; zeros and denormals count as the smallest normal float, negative x gives NaN.
KALVIT_XMM_ABI __m128 sse_log(__m128 x);
KALVIT_XMM_ABI __m128 sse_sin(__m128 x);
KALVIT_XMM_ABI __m128 sse_cos(__m128 x);

struct SseKernels {
    static KALVIT_XMM_CC __m128 power(__m128 x, __m128 y) { return sse_power(x, y); }
    static KALVIT_XMM_CC __m128 log(__m128 x) { return sse_log(x); }
    static KALVIT_XMM_CC __m128 sin(__m128 x) { return sse_sin(x); }
    static KALVIT_XMM_CC __m128 cos(__m128 x) { return sse_cos(x); }
    static void leave() { asm volatile("emms"); }
};

inline constexpr double kSseStepX = 0.00001;
inline constexpr double kSseStepY = 0.000001;

// Adds a double to a float32 on the x87 unit and stores the sum back as float32.
inline void x87_add(float& value, const double& step) {
    asm("flds %0\n\tfaddl %1\n\tfstps %0" : "+m"(value) : "m"(step) : "st");
}

// The loop's frame holds 16-byte aligned vectors. Both x86-64 conventions keep the stack 16-byte
// aligned at every call; 32-bit callers may not, so there the routine realigns it.
#if defined(__i386__)
#define KALVIT_ALIGNED_FRAME __attribute__((noinline, force_align_arg_pointer))
#else
#define KALVIT_ALIGNED_FRAME __attribute__((noinline))
#endif

// count iterations of the six kernel calls; x and y are element 0 of two aligned vectors, the
// other elements are zero and unused. The results are discarded into a volatile sink.
template <class K = SseKernels>
KALVIT_ALIGNED_FRAME KALVIT_XMM_CC void sse_float_loop(int count, volatile float& x,
                                                       volatile float& y) {
    alignas(16) float vx[4] = {x, 0.0f, 0.0f, 0.0f};
    alignas(16) float vy[4] = {y, 0.0f, 0.0f, 0.0f};
    [[maybe_unused]] volatile float sink;
    for (int i = 0; i < count; ++i) {
        const __m128 a = _mm_load_ps(vx);
        const __m128 b = _mm_load_ps(vy);
        sink = _mm_cvtss_f32(K::power(a, b));
        sink = _mm_cvtss_f32(K::power(b, a));
        sink = _mm_cvtss_f32(K::log(a));
        sink = _mm_cvtss_f32(K::log(b));
        sink = _mm_cvtss_f32(K::sin(a));
        sink = _mm_cvtss_f32(K::cos(b));
        x87_add(vx[0], kSseStepX);
        x87_add(vy[0], kSseStepY);
    }
    x = vx[0];
    y = vy[0];
}

// The program's loop is compiled once, in engine/float_sse.cpp next to its kernels; callers in
// other files call it instead of compiling their own copy.
extern template void sse_float_loop<SseKernels>(int, volatile float&, volatile float&);

template <class K> KALVIT_XMM_CC void sse_work_pass(FloatState& s) {
    sse_float_loop<K>(kFloatInner, s.x, s.y);
    K::leave();
}

// The SSE empty loop keeps only the pass loop: its inner loop is a routine of its own.
inline KALVIT_XMM_CC void sse_empty_pass(FloatState&) {}
