#pragma once
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "engine/float_loops.h"
#include "engine/measure_float.h"
#include "tests/native/engine_test_support.h"
// Shared by the floating-point tests of the native suite and of the 3DNow! suite under qemu.

// Progress calls of one test, and a stop flag raised after a chosen number of them.
struct ProgressRecorder {
    std::vector<double> fractions;
    volatile int stop = 0;
    size_t stop_after = 0; // 0: never

    TestHooks hooks() {
        TestHooks h;
        h.stop = &stop;
        h.progress = [this](double f) {
            fractions.push_back(f);
            if (stop_after != 0 && fractions.size() == stop_after)
                stop = 1;
        };
        return h;
    }
};

inline uint32_t bits_from_float(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}
inline float float_from_bits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// x and y at the start of a pass (2.32, 0.23), after one step and after the 100 000 steps.
constexpr uint32_t kStartX = 0x40147AE1u, kStartY = 0x3E6B851Fu;
constexpr uint32_t kStepX = 0x40147B0Bu, kStepY = 0x3E6B8562u;
constexpr uint32_t kPassEndX = 0x40549121u, kPassEndY = 0x3EA97CAFu;

// Counts the calls of a kernel set K, the smallest argument each kernel sees and the first
// sine/cosine arguments, forwarding every call to K. Tag keeps instantiations apart.
struct KernelCounts {
    uint64_t power = 0, log = 0, sin = 0, cos = 0, leave = 0, starts = 0;
    float power_base = INFINITY, power_exponent = INFINITY, log_arg = INFINITY;
    float sin_arg = INFINITY, cos_arg = INFINITY;
    std::vector<uint32_t> first_x, first_y;
};

template <class K, class Tag> struct CountingKernels {
    static inline KernelCounts counts;
    static float power(float x, float y) {
        ++counts.power;
        counts.power_base = std::fmin(counts.power_base, x);
        counts.power_exponent = std::fmin(counts.power_exponent, y);
        return K::power(x, y);
    }
    static float log(float x) {
        ++counts.log;
        counts.log_arg = std::fmin(counts.log_arg, x);
        return K::log(x);
    }
    static float sin(float x) {
        ++counts.sin;
        counts.sin_arg = std::fmin(counts.sin_arg, x);
        if (counts.first_x.size() < 2)
            counts.first_x.push_back(bits_from_float(x));
        counts.starts += bits_from_float(x) == kStartX ? 1 : 0;
        return K::sin(x);
    }
    static float cos(float x) {
        ++counts.cos;
        counts.cos_arg = std::fmin(counts.cos_arg, x);
        if (counts.first_y.size() < 2)
            counts.first_y.push_back(bits_from_float(x));
        return K::cos(x);
    }
    static void leave() {
        ++counts.leave;
        K::leave();
    }
};

// A work loop of `passes` passes: each starts again from (2.32, 0.23) and makes 100 000
// iterations of power(x, y), power(y, x), log x, log y, sin x, cos y, then one leave().
inline void expect_loop_calls(const KernelCounts& c, uint64_t passes) {
    const uint64_t per_kernel = passes * 100000;
    EXPECT_EQ(c.power, 2 * per_kernel);
    EXPECT_EQ(c.log, 2 * per_kernel);
    EXPECT_EQ(c.sin, per_kernel);
    EXPECT_EQ(c.cos, per_kernel);
    EXPECT_EQ(c.leave, passes);
    EXPECT_EQ(c.starts, passes);
    EXPECT_EQ(c.first_x, (std::vector<uint32_t>{kStartX, kStepX}));
    EXPECT_EQ(c.first_y, (std::vector<uint32_t>{kStartY, kStepY}));
    for (float lo : {c.power_base, c.power_exponent, c.log_arg, c.cos_arg})
        EXPECT_EQ(bits_from_float(lo), kStartY);
    EXPECT_EQ(bits_from_float(c.sin_arg), kStartX);
}

// The (x, y) pairs of one pass, stepped with float32 additions.
using ArgPair = std::pair<float, float>;
inline std::vector<ArgPair> pass_arguments() {
    std::vector<ArgPair> out;
    float x = float_from_bits(kStartX), y = float_from_bits(kStartY);
    for (int i = 0; i < 100000; ++i) {
        out.emplace_back(x, y);
        x += 0.00001f;
        y += 0.000001f;
    }
    return out;
}

// An error allowance |got − want| ≤ abs + rel × |want|.
struct Bound {
    double abs;
    double rel;
};

// A kernel against the C library in double precision over a set of arguments (x, or x and y for
// the power); on failure names the argument with the largest excess over the bound.
template <class Kernel, class Reference, class BoundOf>
testing::AssertionResult within_bound(const std::vector<ArgPair>& args, Kernel kernel,
                                      Reference reference, BoundOf bound) {
    double worst = 0.0;
    ArgPair where{};
    for (const ArgPair& a : args) {
        const double got = kernel(a.first, a.second), want = reference(a.first, a.second);
        const Bound b = bound(a.first, a.second);
        const double excess = std::isnan(got) ? INFINITY
                                              : std::fabs(got - want) - b.abs - b.rel * std::fabs(want);
        if (excess > worst) {
            worst = excess;
            where = a;
        }
    }
    if (worst > 0.0)
        return testing::AssertionFailure() << "off by " << worst << " beyond the bound at ("
                                           << where.first << ", " << where.second << ")";
    return testing::AssertionSuccess();
}

// n points spread evenly over [lo, hi] (paired with 0), in the logarithm when `log` is set.
inline std::vector<ArgPair> sweep(double lo, double hi, int n, bool log = false) {
    std::vector<ArgPair> out;
    if (log) {
        lo = std::log(lo);
        hi = std::log(hi);
    }
    for (int i = 0; i < n; ++i) {
        const double v = lo + (hi - lo) * i / (n - 1);
        out.emplace_back(static_cast<float>(log ? std::exp(v) : v), 0.0f);
    }
    return out;
}

// Kernel set K over its domains: sine and cosine over the given sweep and the pass's x and y,
// the logarithm over the normal floats and the pass's x and y, the power over the pass's pairs
// both ways round and over x in [0.01, 100], y in [−8, 8].
template <class K, class TrigBound, class LogBound, class PowerBound>
void expect_accuracy(const std::vector<ArgPair>& trig_sweep, TrigBound trig_bound,
                     LogBound log_bound, PowerBound power_bound) {
    std::vector<ArgPair> unary = sweep(FLT_MIN, FLT_MAX, 100001, true), trig = trig_sweep;
    std::vector<ArgPair> powers = pass_arguments();
    for (const auto& [x, y] : pass_arguments()) {
        unary.emplace_back(x, 0.0f);
        unary.emplace_back(y, 0.0f);
        trig.emplace_back(x, 0.0f);
        trig.emplace_back(y, 0.0f);
        powers.emplace_back(y, x);
    }
    for (const auto& x : sweep(0.01, 100.0, 201, true))
        for (const auto& y : sweep(-8.0, 8.0, 201))
            powers.emplace_back(x.first, y.first);
    auto one = [](auto f) { return [f](float x, float) { return f(x); }; };
    auto ref = [](double (*f)(double)) { return [f](float x, float) { return f(x); }; };
    EXPECT_TRUE(within_bound(trig, one(K::sin), ref(std::sin), trig_bound));
    EXPECT_TRUE(within_bound(trig, one(K::cos), ref(std::cos), trig_bound));
    EXPECT_TRUE(within_bound(unary, one(K::log), ref(std::log), log_bound));
    EXPECT_TRUE(within_bound(
        powers, K::power, [](float x, float y) { return std::pow(double{x}, double{y}); },
        power_bound));
}

// FNV-1a over the result bits of a one-argument kernel on the pass's x and y: any change of
// a coefficient, of the order of operations or of an instruction shows in it.
template <class Kernel> uint32_t pass_digest(Kernel kernel) {
    uint32_t h = 2166136261u;
    for (const auto& [x, y] : pass_arguments())
        for (float v : {x, y})
            h = (h ^ bits_from_float(kernel(v))) * 16777619u;
    return h;
}

// The scalar loop (plain and 3DNow! paths) with the counting kernel set C at amount 2, five
// passes per amount and 2000 ms of work against 500 ms empty: 10 passes, progress in fifths ÷ 2.
template <class C> void expect_scalar_loop_at_amount_two() {
    C::counts = {};
    ProgressRecorder rec;
    FloatState state;
    ScriptedTimer timer(joined({loop_reads(0, 10, 2000), loop_reads(0, 10, 500)}));
    measure_float(2, {5, 0.2, scalar_work_pass<C>, scalar_empty_pass}, rec.hooks(), state);
    expect_loop_calls(C::counts, 10);
    ASSERT_EQ(rec.fractions.size(), 20u);
    EXPECT_DOUBLE_EQ(rec.fractions[0], 0.1);
    EXPECT_DOUBLE_EQ(rec.fractions[19], 1.0);
    EXPECT_EQ(bits_from_float(state.x), kPassEndX);
    EXPECT_EQ(bits_from_float(state.y), kPassEndY);
}

// float_test on a path with 1100 ms of work against 100 ms empty: passes_per_amount × m passes
// in each loop, progress j × step ÷ m, a timer read at the start of each loop and after every
// pass, 600 M calls a pass.
inline void expect_float_test_passes(FloatPath path, int m, int passes_per_amount, double step) {
    ProgressRecorder rec;
    const int passes = passes_per_amount * m;
    ScriptedTimer timer(joined({loop_reads(0, passes, 1100), loop_reads(0, passes, 100)}));
    const float speed = float_test(m, path, rec.hooks());
    EXPECT_EQ(ScriptedTimer::reads(), 2u + 2u * passes);
    ASSERT_EQ(rec.fractions.size(), 2u * passes);
    EXPECT_DOUBLE_EQ(rec.fractions[0], step / m);
    EXPECT_DOUBLE_EQ(rec.fractions[2 * passes - 1], passes * step / m);
    EXPECT_FLOAT_EQ(speed, passes * 0.6f);
}
