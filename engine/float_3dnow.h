#pragma once
// The 3DNow! kernels, each behind a wrapper that enters and leaves the multimedia state (FEMMS)
// around the call. They need a processor with 3DNow! (cpu_has_3dnow); elsewhere they fault.

// Results for x ≤ 0: ±0 and denormals (3DNow! has no denormals) give 0 for y > 0, 1 for y = 0
// and 3.4028235e38 for y < 0; a negative x gives ±|x|^y for an integral y (negative when y is
// odd) and NaN otherwise. Results saturate at 3.4028235e38; below 2^-126 they are 0.
float amd_power(float x, float y);
// ln x; zeros and denormals give -3.4028235e38, negative x gives NaN.
float amd_log(float x);
// |x| ≥ 8192π gives 0.0 (sine) and 1.0 (cosine).
float amd_sin(float x);
float amd_cos(float x);
// EMMS: ends the multimedia state after an inner loop.
void amd_leave();

// The kernel set of the 3DNow! path (see engine/float_loops.h).
struct AmdKernels {
    static float power(float x, float y) { return amd_power(x, y); }
    static float log(float x) { return amd_log(x); }
    static float sin(float x) { return amd_sin(x); }
    static float cos(float x) { return amd_cos(x); }
    static void leave() { amd_leave(); }
};
