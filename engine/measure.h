#pragma once
#include <cstdint>
#include <functional>
// What every measuring test shares: how it is stopped, how it reports progress, and how net
// time becomes a speed.

struct TestHooks {
    // The run's stop flag, read before every outer pass; null means the test is never stopped.
    const volatile int* stop = nullptr;
    // Called after every outer pass of the work and the empty loop with the fraction done.
    std::function<void(double fraction)> progress;

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
