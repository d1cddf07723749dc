#pragma once
#include "engine/measure.h"
// The loops of the floating-point test. Each path supplies a kernel set K with
//   static float power(float x, float y), log(float), sin(float), cos(float); static void leave()
// (leave() ends the multimedia state after an inner loop). The loops are templates over that set
// so the calls stay direct in the program and tests can substitute counting kernels.

// Arguments and results live in memory: every read and write in the loops is a real access.
struct FloatState {
    volatile float x = 0.0f;
    volatile float y = 0.0f;
    volatile float result[6] = {};
};

constexpr int kFloatInner = 100000;
constexpr float kFloatStartX = 2.32f;
constexpr float kFloatStartY = 0.23f;
constexpr float kFloatStepX = 0.00001f;
constexpr float kFloatStepY = 0.000001f;
// 6 calls × 100 000 iterations per pass, per millisecond, in millions.
constexpr double kFloatSpeedFactor = 600.0;

// The SSE kernels take their vectors in XMM registers, which the Win64 convention does not do;
// they, the SSE loop and every pass body use the System V convention there. (With the callers in
// the Win64 convention, GCC 12 for MinGW-w64 fails on frames that call a System V routine of the
// same file.)
#if defined(_WIN64)
#define KALVIT_XMM_CC __attribute__((sysv_abi))
#else
#define KALVIT_XMM_CC
#endif

using FloatPass = void(KALVIT_XMM_CC*)(FloatState&);

// One path's pass bodies; they run between the timer reads, progress and stop checks.
struct FloatLoops {
    int passes_per_amount;    // passes = passes_per_amount × m
    double fraction_per_pass; // progress after pass j is j × fraction_per_pass ÷ m
    FloatPass work_pass;
    FloatPass empty_pass;
};

template <class K> KALVIT_XMM_CC void scalar_work_pass(FloatState& s) {
    for (int i = 0; i < kFloatInner; ++i) {
        s.result[0] = K::power(s.x, s.y);
        s.result[1] = K::power(s.y, s.x);
        s.result[2] = K::log(s.x);
        s.result[3] = K::log(s.y);
        s.result[4] = K::sin(s.x);
        s.result[5] = K::cos(s.y);
        s.x = s.x + kFloatStepX;
        s.y = s.y + kFloatStepY;
    }
    K::leave();
}

// The empty loop of the plain and 3DNow! paths: only the two additions.
KALVIT_XMM_CC void scalar_empty_pass(FloatState& s);

// Work loop, empty loop, net time and speed; logs the result line.
float measure_float(int m, const FloatLoops& loops, const TestHooks& hooks, FloatState& state);

FloatLoops plain_loops();
FloatLoops sse_loops();
FloatLoops amd_loops();

// The state float_test runs on.
extern FloatState float_state;
