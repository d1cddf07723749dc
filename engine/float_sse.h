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
// ln x, with x first raised to the smallest normal float (so zeros, denormals and negative
// arguments all give ln FLT_MIN).
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
// aligned at every call; 32-bit callers may not, so there the routine realigns it. noipa keeps
// the one routine that the program calls: no clones specialised for a count.
#if defined(__i386__)
#define KALVIT_ALIGNED_FRAME __attribute__((noipa, force_align_arg_pointer))
#else
#define KALVIT_ALIGNED_FRAME __attribute__((noipa))
#endif

// One of the loop's vectors, loaded from its frame afresh for each call: the six calls then need
// no spilled copies, and an iteration stores nothing but x and y.
inline __m128 vector_at(const float* v) {
    __m128 r;
    asm volatile("movaps %1, %0" : "=x"(r) : "m"(*reinterpret_cast<const __m128*>(v)));
    return r;
}

// count iterations of the six kernel calls; x and y are element 0 of two aligned vectors, the
// other elements are zero and unused. The results come back in XMM0 and are dropped: the
// kernels' attributes keep every call.
template <class K = SseKernels>
KALVIT_ALIGNED_FRAME KALVIT_XMM_CC void sse_float_loop(int count, volatile float& x,
                                                       volatile float& y) {
    alignas(16) float vx[4] = {x, 0.0f, 0.0f, 0.0f};
    alignas(16) float vy[4] = {y, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < count; ++i) {
        K::power(vector_at(vx), vector_at(vy));
        K::power(vector_at(vy), vector_at(vx));
        K::log(vector_at(vx));
        K::log(vector_at(vy));
        K::sin(vector_at(vx));
        K::cos(vector_at(vy));
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
