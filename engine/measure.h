#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "engine/disturbance.h"
#include "engine/pass_clock.h"
// What every measuring test shares: how it is stopped, how it reports progress, and how net
// time becomes a speed.

struct TestHooks {
    // The run's stop flag, read before every outer pass; null means the test is never stopped.
    const volatile int* stop = nullptr;
    // Called after every outer pass of the work and the empty loop with the fraction done.
    std::function<void(double fraction)> progress;
    // Called before a disturbed test is measured again: its progress starts from nothing.
    std::function<void()> restart;
    // When set, receives every measurement the test made and which one it kept.
    MeasureRecord* record = nullptr;

    bool stopped() const { return stop != nullptr && *stop != 0; }
    void report(double fraction) const {
        if (progress)
            progress(fraction);
    }
};

constexpr uint32_t kMinDtgt = 10;
constexpr uint32_t kMaxDtgt = 1000000;

// Net times below 10 ms count as 10 ms, above 1 000 000 ms as 1 000 000 ms.
constexpr uint32_t clamp_dtgt(uint32_t dtgt) {
    if (dtgt < kMinDtgt)
        return kMinDtgt;
    if (dtgt > kMaxDtgt)
        return kMaxDtgt;
    return dtgt;
}

// The work time less the empty time in unsigned 32-bit arithmetic, then clamped: an empty loop
// that outlasts the work wraps to the longest time, and so to the smallest speed.
constexpr uint32_t net_time(uint32_t work_time, uint32_t empty_time) {
    return clamp_dtgt(work_time - empty_time);
}

// passes × factor ÷ dtgt in extended precision, dtgt unsigned, stored as float32.
inline float speed_from(uint32_t passes, double factor, uint32_t dtgt) {
    long double speed = static_cast<long double>(passes) * factor / static_cast<long double>(dtgt);
    return static_cast<float>(speed);
}

// A measurement's two loops as their clocks saw them: the time of each and its disturbed passes.
inline Measurement timed_loops(const PassClock& first, const PassClock& second) {
    Measurement m;
    m.loop_ms[0] = first.elapsed();
    m.loop_ms[1] = second.elapsed();
    m.loops[0] = find_disturbed_passes(first.durations());
    m.loops[1] = find_disturbed_passes(second.durations());
    return m;
}

// Measures a test up to three times: `measure` makes one whole measurement (both loops) and
// returns it, or nothing when the test failed. The first undisturbed measurement is kept; a
// stopped one ends the test as it is. When every one was disturbed, the least disturbed is kept
// and the log says so.
template <class Measure>
std::optional<Measurement> measure_undisturbed(const char* test, const char* const loop_names[2],
                                               const TestHooks& hooks, Measure&& measure) {
    std::vector<Measurement> made;
    for (int attempt = 1; attempt <= kMostMeasurements; ++attempt) {
        std::optional<Measurement> m = measure();
        if (!m)
            return std::nullopt;
        made.push_back(*m);
        if (!m->disturbed() || hooks.stopped())
            break;
        if (attempt < kMostMeasurements) {
            log_measured_again(test, *m, loop_names);
            if (hooks.restart)
                hooks.restart();
        }
    }
    // A stopped test reports what its last measurement counted.
    const size_t kept = hooks.stopped() ? made.size() - 1 : kept_measurement(made);
    if (made[kept].disturbed() && !hooks.stopped())
        log_disturbed_every_time(test, made[kept], loop_names);
    if (hooks.record != nullptr)
        *hooks.record = {made, kept};
    return made[kept];
}

// The loop names of the tests with a work and an empty loop.
inline const char* const kWorkAndEmpty[2] = {"work", "empty"};
