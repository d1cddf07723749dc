#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <sstream>
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

// The fractions a full test reports: j × step ÷ m for j = 1..passes, in both loops.
inline std::vector<double> expected_fractions(int passes, double step, int m) {
    std::vector<double> out;
    for (int loop = 0; loop < 2; ++loop)
        for (int j = 1; j <= passes; ++j)
            out.push_back(j * step / m);
    return out;
}

// Counts the calls of a kernel set K and the range of the arguments each kernel sees, forwarding
// every call to K. Tag keeps the counters of different instantiations apart.
struct ArgumentRange {
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
    void add(float v) {
        lo = std::fmin(lo, v);
        hi = std::fmax(hi, v);
    }
};

inline uint32_t bits_from_float(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

struct KernelCounts {
    uint64_t power = 0, log = 0, sin = 0, cos = 0, leave = 0;
    ArgumentRange power_base, power_exponent, log_arg, sin_arg, cos_arg;
    // Bit patterns of the first sine (x) and cosine (y) arguments, and how often a pass started
    // again from x = 2.32.
    std::vector<uint32_t> first_x, first_y;
    uint64_t starts = 0;
    uint64_t calls() const { return power + log + sin + cos; }
};

template <class K, class Tag> struct CountingKernels {
    static inline KernelCounts counts;
    static float power(float x, float y) {
        ++counts.power;
        counts.power_base.add(x);
        counts.power_exponent.add(y);
        return K::power(x, y);
    }
    static float log(float x) {
        ++counts.log;
        counts.log_arg.add(x);
        return K::log(x);
    }
    static float sin(float x) {
        ++counts.sin;
        counts.sin_arg.add(x);
        if (counts.first_x.size() < 2)
            counts.first_x.push_back(bits_from_float(x));
        counts.starts += bits_from_float(x) == 0x40147AE1u ? 1 : 0;
        return K::sin(x);
    }
    static float cos(float x) {
        ++counts.cos;
        counts.cos_arg.add(x);
        if (counts.first_y.size() < 2)
            counts.first_y.push_back(bits_from_float(x));
        return K::cos(x);
    }
    static void leave() {
        ++counts.leave;
        K::leave();
    }
};

// The calls a work loop of `passes` passes makes, and the arguments it may pass: each pass starts
// again from x = 2.32, y = 0.23 (float32 0x40147AE1, 0x3E6B851F) and steps them by 0.00001 and
// 0.000001 (to 0x40147B0B, 0x3E6B8562 first) 100 000 times. Power takes (x, y) and (y, x), log
// takes x and y. Each step is rounded to float32, which biases it upwards here: a pass ends at
// x = 3.3214, y = 0.3310, so the upper ends get 0.5 % of slack.
inline void expect_loop_calls(const KernelCounts& c, uint64_t passes) {
    const uint64_t per_kernel = passes * 100000;
    EXPECT_EQ(c.calls(), 6 * per_kernel);
    EXPECT_EQ(c.power, 2 * per_kernel);
    EXPECT_EQ(c.log, 2 * per_kernel);
    EXPECT_EQ(c.sin, per_kernel);
    EXPECT_EQ(c.cos, per_kernel);
    EXPECT_EQ(c.leave, passes);
    EXPECT_EQ(c.starts, passes);
    EXPECT_EQ(c.first_x, (std::vector<uint32_t>{0x40147AE1u, 0x40147B0Bu}));
    EXPECT_EQ(c.first_y, (std::vector<uint32_t>{0x3E6B851Fu, 0x3E6B8562u}));
    constexpr float kSlack = 1.005f;
    for (const ArgumentRange* r : {&c.power_base, &c.power_exponent, &c.log_arg}) {
        EXPECT_EQ(bits_from_float(r->lo), 0x3E6B851Fu);
        EXPECT_LE(r->hi, 3.32f * kSlack);
    }
    EXPECT_EQ(bits_from_float(c.sin_arg.lo), 0x40147AE1u);
    EXPECT_LE(c.sin_arg.hi, 3.32f * kSlack);
    EXPECT_EQ(bits_from_float(c.cos_arg.lo), 0x3E6B851Fu);
    EXPECT_LE(c.cos_arg.hi, 0.33f * kSlack);
    EXPECT_GE(c.cos_arg.hi, 0.33f);
}

// x and y after the 100 000 steps of one pass, from either loop.
constexpr uint32_t kPassEndX = 0x40549121u;
constexpr uint32_t kPassEndY = 0x3EA97CAFu;

// The (x, y) pairs of one pass, stepped with float32 additions.
inline std::vector<std::pair<float, float>> pass_arguments() {
    std::vector<std::pair<float, float>> out;
    float x = kFloatStartX, y = kFloatStartY;
    for (int i = 0; i < kFloatInner; ++i) {
        out.emplace_back(x, y);
        x += kFloatStepX;
        y += kFloatStepY;
    }
    return out;
}

// An error allowance |got − want| ≤ abs + rel × |want|.
struct Bound {
    double abs;
    double rel;
};

// Checks a float kernel against a double reference over a set of arguments; on failure reports
// the argument with the largest excess over the bound.
template <class Arg>
testing::AssertionResult within_bound(const std::vector<Arg>& args,
                                      const std::function<float(const Arg&)>& kernel,
                                      const std::function<double(const Arg&)>& reference,
                                      const std::function<Bound(const Arg&)>& bound) {
    double worst_excess = 0.0;
    std::ostringstream where;
    for (const Arg& a : args) {
        const float got = kernel(a);
        const double want = reference(a);
        const Bound b = bound(a);
        const double allowed = b.abs + b.rel * std::fabs(want);
        const double err = std::fabs(static_cast<double>(got) - want);
        const double excess =
            std::isnan(got) ? std::numeric_limits<double>::infinity() : err - allowed;
        if (excess > worst_excess) {
            worst_excess = excess;
            where.str("");
            where.precision(9);
            where << "got " << got << ", want " << want << ", error " << err << ", allowed "
                  << allowed;
        }
    }
    if (worst_excess > 0.0)
        return testing::AssertionFailure() << where.str();
    return testing::AssertionSuccess();
}

inline float float_from_bits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// n points spread evenly over [lo, hi].
inline std::vector<float> linear_sweep(double lo, double hi, int n) {
    std::vector<float> out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<float>(lo + (hi - lo) * i / (n - 1)));
    return out;
}

// n points spread evenly in the logarithm over [lo, hi], lo > 0.
inline std::vector<float> log_sweep(double lo, double hi, int n) {
    std::vector<float> out;
    const double a = std::log(lo), b = std::log(hi);
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<float>(std::exp(a + (b - a) * i / (n - 1))));
    return out;
}

using ArgPair = std::pair<float, float>;

inline testing::AssertionResult unary_within(float (*kernel)(float), double (*reference)(double),
                                             const std::vector<float>& xs, Bound (*bound)(float)) {
    return within_bound<float>(
        xs, [kernel](const float& x) { return kernel(x); },
        [reference](const float& x) { return reference(static_cast<double>(x)); }, bound);
}

inline testing::AssertionResult power_within(float (*power)(float, float),
                                             const std::vector<ArgPair>& args,
                                             Bound (*bound)(float, float)) {
    return within_bound<ArgPair>(
        args, [power](const ArgPair& a) { return power(a.first, a.second); },
        [](const ArgPair& a) {
            return std::pow(static_cast<double>(a.first), static_cast<double>(a.second));
        },
        [bound](const ArgPair& a) { return bound(a.first, a.second); });
}

// The first or the second of each pair.
inline std::vector<float> lane(const std::vector<ArgPair>& v, bool second) {
    std::vector<float> out;
    for (const ArgPair& p : v)
        out.push_back(second ? p.second : p.first);
    return out;
}

inline std::vector<ArgPair> swapped(const std::vector<ArgPair>& v) {
    std::vector<ArgPair> out;
    for (const ArgPair& p : v)
        out.emplace_back(p.second, p.first);
    return out;
}

// Kernel set K (float signatures) over the calls of the work loop: power over (x, y) and (y, x),
// log over both, sine over x and cosine over y.
template <class K>
void expect_pass_accuracy(Bound (*power_bound)(float, float), Bound (*log_bound)(float),
                          Bound (*trig_bound)(float)) {
    const std::vector<ArgPair> args = pass_arguments();
    EXPECT_TRUE(power_within(K::power, args, power_bound));
    EXPECT_TRUE(power_within(K::power, swapped(args), power_bound));
    EXPECT_TRUE(unary_within(K::log, std::log, lane(args, false), log_bound));
    EXPECT_TRUE(unary_within(K::log, std::log, lane(args, true), log_bound));
    EXPECT_TRUE(unary_within(K::sin, std::sin, lane(args, false), trig_bound));
    EXPECT_TRUE(unary_within(K::cos, std::cos, lane(args, true), trig_bound));
}

// Runs one test at amount 2 on the given loops, 2000 ms of work against 500 ms empty.
inline void run_at_amount_two(const FloatLoops& loops, ProgressRecorder& rec, FloatState& state) {
    ScriptedTimer timer{0, 2000, 0, 500};
    measure_float(2, loops, rec.hooks(), state);
}

// The scalar loop (plain and 3DNow! paths) with the counting kernel set C at amount 2 and five
// passes per amount: 10 passes of 600 000 calls, a leave() after each, no calls in the empty
// loop, whose passes each make the 100 000 additions.
template <class C> void expect_scalar_loop_at_amount_two() {
    C::counts = {};
    ProgressRecorder rec;
    FloatState state;
    run_at_amount_two({5, 0.2, scalar_work_pass<C>, scalar_empty_pass}, rec, state);
    expect_loop_calls(C::counts, 10);
    EXPECT_EQ(rec.fractions, expected_fractions(10, 0.2, 2));
    EXPECT_EQ(bits_from_float(state.x), kPassEndX);
    EXPECT_EQ(bits_from_float(state.y), kPassEndY);
}

// Runs float_test on a path with 1100 ms of work against 100 ms empty: passes_per_amount × m
// passes in each loop with progress j × step ÷ m, four timer reads, speed passes × 600 ÷ 1000.
inline void expect_float_test_passes(FloatPath path, int m, int passes_per_amount, double step) {
    ProgressRecorder rec;
    ScriptedTimer timer{0, 1100, 0, 100};
    const float speed = float_test(m, path, rec.hooks());
    const int passes = passes_per_amount * m;
    EXPECT_EQ(ScriptedTimer::reads(), 4u);
    EXPECT_EQ(rec.fractions, expected_fractions(passes, step, m));
    EXPECT_FLOAT_EQ(speed, static_cast<float>(passes * 600.0 / 1000));
}
