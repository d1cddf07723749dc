#include "engine/measure_float.h"

#include "engine/clock.h"
#include "engine/float_loops.h"
#include "engine/pass_clock.h"
#include "shell/log.h"

FloatState float_state;

namespace {
// Runs passes of one body, each from the start values, while the stop flag is clear.
uint32_t run_passes(int passes, int m, double fraction, FloatPass pass, const TestHooks& hooks,
                    FloatState& state, PassClock& clock) {
    uint32_t done = 0;
    clock.start();
    for (int j = 0; j < passes && !hooks.stopped(); ++j) {
        state.x = kFloatStartX;
        state.y = kFloatStartY;
        pass(state);
        ++done;
        hooks.report((j + 1) * fraction / m);
        clock.pass();
    }
    return done;
}
} // namespace

float measure_float(int m, const FloatLoops& loops, const TestHooks& hooks, FloatState& state) {
    const int passes = loops.passes_per_amount * m;
    PassClock work_clock(passes), empty_clock(passes);
    const std::optional<Measurement> kept =
        measure_undisturbed("Float Test", kWorkAndEmpty, hooks, [&] {
            run_passes(passes, m, loops.fraction_per_pass, loops.work_pass, hooks, state,
                       work_clock);
            const uint32_t done = run_passes(passes, m, loops.fraction_per_pass,
                                             loops.empty_pass, hooks, state, empty_clock);
            Measurement r = timed_loops(work_clock, empty_clock);
            r.dtgt = net_time(work_clock.elapsed(), empty_clock.elapsed());
            r.speed = speed_from(done, kFloatSpeedFactor, r.dtgt);
            return std::optional<Measurement>(r);
        });
    QMsgLog("Float Test: dtgt=%d , speed=%6.2f M", static_cast<int>(kept->dtgt),
            static_cast<double>(kept->speed));
    return kept->speed;
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
