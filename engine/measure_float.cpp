#include "engine/measure_float.h"

#include "engine/clock.h"
#include "engine/float_loops.h"
#include "shell/log.h"

FloatState float_state;

namespace {
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

float measure_float(int m, const FloatLoops& loops, const TestHooks& hooks, FloatState& state) {
    const int passes = loops.passes_per_amount * m;

    uint32_t start = ms_timer();
    run_passes(passes, m, loops.fraction_per_pass, loops.work_pass, hooks, state);
    const uint32_t work = ms_timer() - start;

    start = ms_timer();
    const uint32_t done =
        run_passes(passes, m, loops.fraction_per_pass, loops.empty_pass, hooks, state);
    const uint32_t empty = ms_timer() - start;

    const uint32_t dtgt = net_time(work, empty);
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
