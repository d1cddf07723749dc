#include "engine/measure_integer.h"

#include "engine/clock.h"
#include "engine/integer_kernel.h"
#include "engine/pass_clock.h"
#include "shell/log.h"

namespace {
constexpr int kIterationsPerPass = 1000000;
constexpr int kQuickIterationsPerPass = 500000;
constexpr int kPassesPerAmount = 4;
constexpr double kSpeedFactor = 4000.0;
constexpr uint32_t kQuickMinimumTime = 50;
constexpr float kQuickLowest = 1.0f;
constexpr float kQuickHighest = 999.0f;
} // namespace

float integer_test(int m, const TestHooks& hooks) {
    const long long passes = m > 0 ? static_cast<long long>(m) * kPassesPerAmount : 0;
    PassClock work_clock(passes), empty_clock(passes);
    const std::optional<Measurement> kept =
        measure_undisturbed("Integer Test", kWorkAndEmpty, hooks, [&] {
            reset_integer_kernel();
            work_clock.start();
            for (long long j = 1; j <= passes && !hooks.stopped(); ++j) {
                integer_work_pass(kIterationsPerPass);
                hooks.report(static_cast<double>(j) * 0.25 / m);
                work_clock.pass();
            }
            const uint32_t work_time = clamp_dtgt(work_clock.elapsed());

            empty_clock.start();
            long long empty_passes = 0;
            while (empty_passes < passes && !hooks.stopped()) {
                integer_empty_iterations(kIterationsPerPass);
                ++empty_passes;
                hooks.report(static_cast<double>(empty_passes) * 0.25 / m);
                empty_clock.pass();
            }
            Measurement r = timed_loops(work_clock, empty_clock);
            r.dtgt = work_time - empty_clock.elapsed();
            // Equal times would divide by zero: the smallest measurable difference stands in.
            r.speed = speed_from(static_cast<uint32_t>(empty_passes), kSpeedFactor,
                                 r.dtgt != 0 ? r.dtgt : 1);
            return std::optional<Measurement>(r);
        });
    QMsgLog("Integer Test: dtgt=%d , speed=%6.2f M", static_cast<int>(kept->dtgt),
            static_cast<double>(kept->speed));
    return kept->speed;
}

float quick_integer_speed(int passes) {
    reset_integer_kernel();
    uint32_t start = ms_timer();
    for (int p = 0; p < passes; ++p)
        integer_work_pass(kQuickIterationsPerPass);
    uint32_t elapsed = ms_timer() - start;
    if (elapsed < kQuickMinimumTime)
        elapsed = kQuickMinimumTime;
    float q = static_cast<float>((passes > 0 ? passes : 0) * 2000.0 / elapsed);
    if (q < kQuickLowest)
        q = kQuickLowest;
    if (q > kQuickHighest)
        q = kQuickHighest;
    return q;
}
