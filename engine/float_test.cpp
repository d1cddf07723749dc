#include "engine/float_test.h"

#include <cmath>

#include "engine/clock.h"
#include "engine/float_loops.h"
#include "shell/log.h"

FloatState float_state;

namespace {
// The run-time library in double precision, rounded back to float32.
struct PlainKernels {
    static float power(float x, float y) {
        return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(y)));
    }
    static float log(float x) { return static_cast<float>(std::log(static_cast<double>(x))); }
    static float sin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
    static float cos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
    static void leave() {}
};

// The plain path's progress step is the single-precision constant 0.33333.
constexpr float kPlainFraction = 0.33333f;

// Runs passes of one body, each from the start values, while the stop flag is clear.
uint32_t run_passes(int passes, int m, double fraction, FloatPass pass, const TestHooks& hooks,
                    FloatState& state) {
    uint32_t done = 0;
    for (int j = 0; j < passes && !hooks.stopped(); ++j) {
        state.x = kFloatStartX;
        state.y = kFloatStartY;
        pass(state);
        ++done;
        hooks.report((j + 1) * fraction / m);
    }
    return done;
}
} // namespace

FloatLoops plain_loops() {
    return {3, static_cast<double>(kPlainFraction), scalar_work_pass<PlainKernels>,
            scalar_empty_pass};
}

float measure_float(int m, const FloatLoops& loops, const TestHooks& hooks, FloatState& state) {
    const int passes = loops.passes_per_amount * m;

    uint32_t start = ms_timer();
    run_passes(passes, m, loops.fraction_per_pass, loops.work_pass, hooks, state);
    const uint32_t work = ms_timer() - start;

    start = ms_timer();
    const uint32_t done =
        run_passes(passes, m, loops.fraction_per_pass, loops.empty_pass, hooks, state);
    const uint32_t empty = ms_timer() - start;

    const uint32_t dtgt = clamp_dtgt(work - empty);
    const float speed = speed_from(done, kFloatSpeedFactor, dtgt);
    QMsgLog("Float Test: dtgt=%d , speed=%6.2f M", static_cast<int>(dtgt),
            static_cast<double>(speed));
    return speed;
}

FloatPath float_path(int amd_3dnow, int intel_sse) {
    if (amd_3dnow)
        return FloatPath::amd_3dnow;
    if (intel_sse)
        return FloatPath::sse;
    return FloatPath::plain;
}

float float_test(int m, FloatPath path, const TestHooks& hooks) {
    switch (path) {
    case FloatPath::amd_3dnow:
        return measure_float(m, amd_loops(), hooks, float_state);
    case FloatPath::sse:
        return measure_float(m, sse_loops(), hooks, float_state);
    case FloatPath::plain:
        break;
    }
    return measure_float(m, plain_loops(), hooks, float_state);
}
