#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/float_3dnow.h"
#include "engine/float_loops.h"
#include "engine/float_test.h"
#include "tests/native/float_test_support.h"

// The 3DNow! kernels, run on an emulated processor with 3DNow!. Error bounds against the C
// library in double precision; the reciprocal is refined to full single precision, so the
// bounds come from the series and from float32 rounding:
// - sine, cosine (|x| < 8192π): the first terms the series leave out are r^9/9! = 3.1e-7 (sine)
//   and r^10/10! = 2.5e-8 (cosine) at r = π/4; subtracting k × π/4 in two parts for k up to
//   32767 rounds k × 0.0002419134 (below 8) to float32, 4.8e-7. Absolute bound 1e-6.
// - logarithm: with m folded into (√2/2, √2], |z| ≤ 0.172 and the series left out 2z^9/9, 3e-8;
//   the few roundings of ln m (|ln m| ≤ 0.35) and of the two sums stay within 1e-7 plus 3e-7 of
//   the result.
// - power: the exponent t = y log2 x carries the logarithm's rounding times y and its own float32
//   rounding (2^-24 |t|), each worth ln 2 of its size relatively in the result; 2^f by the (3,3)
//   Padé form is good to 6e-9 and its roundings to a few units of 6e-8. Relative bound
//   5e-7 + 1e-7 |y| + 1e-7 |t|.

namespace {
struct AmdTag {};
using CountingAmd = CountingKernels<AmdKernels, AmdTag>;

constexpr float kLimit = 25735.928f;

Bound trig_bound(float) {
    return {1e-6, 0.0};
}
Bound log_bound(float) {
    return {1e-7, 3e-7};
}
Bound power_bound(float x, float y) {
    const double t = std::fabs(y * std::log2(static_cast<double>(x)));
    return {0.0, 5e-7 + 1e-7 * std::fabs(y) + 1e-7 * t};
}
} // namespace

TEST(ThreeDNow, ProcessorReportsIt) {
    EXPECT_TRUE(cpu_has_3dnow());
}

TEST(ThreeDNowKernels, AccurateOverTheArgumentsOfThePass) {
    expect_pass_accuracy<AmdKernels>(power_bound, log_bound, trig_bound);
}

TEST(ThreeDNowKernels, SineAndCosineAccurateBelowTheLimit) {
    const float below = std::nextafter(kLimit, 0.0f);
    for (const std::vector<float>& xs :
         {linear_sweep(-2 * M_PI, 2 * M_PI, 20001), linear_sweep(-below, below, 200001)}) {
        EXPECT_TRUE(unary_within(amd_sin, std::sin, xs, trig_bound));
        EXPECT_TRUE(unary_within(amd_cos, std::cos, xs, trig_bound));
    }
}

TEST(ThreeDNowKernels, SineAndCosineAtAndBeyondTheLimit) {
    for (float x : {kLimit, -kLimit, 30000.0f, -1e9f, FLT_MAX}) {
        EXPECT_EQ(amd_sin(x), 0.0f) << x;
        EXPECT_EQ(amd_cos(x), 1.0f) << x;
    }
    const float below = std::nextafter(kLimit, 0.0f);
    EXPECT_NEAR(amd_sin(below), std::sin(static_cast<double>(below)), 1e-6);
    EXPECT_NEAR(amd_cos(-below), std::cos(static_cast<double>(below)), 1e-6);
}

TEST(ThreeDNowKernels, LogarithmAccurateOverTheNormalRange) {
    EXPECT_TRUE(unary_within(amd_log, std::log, log_sweep(FLT_MIN, FLT_MAX, 100001), log_bound));
    EXPECT_TRUE(unary_within(amd_log, std::log, linear_sweep(0.5, 2.0, 50001), log_bound));
}

TEST(ThreeDNowKernels, LogarithmOfZeroDenormalAndNegativeArguments) {
    for (float x : {0.0f, -0.0f, float_from_bits(1), float_from_bits(0x007FFFFF),
                    float_from_bits(0x80000001)})
        EXPECT_EQ(amd_log(x), -3.4028235e38f) << x;
    EXPECT_TRUE(std::isnan(amd_log(-1.0f)));
    EXPECT_TRUE(std::isnan(amd_log(-FLT_MIN)));
}

TEST(ThreeDNowKernels, PowerAccurateOverAWideGrid) {
    std::vector<ArgPair> args;
    for (float x : log_sweep(0.01, 100.0, 301))
        for (float y : linear_sweep(-8.0, 8.0, 301))
            args.emplace_back(x, y);
    EXPECT_TRUE(power_within(amd_power, args, power_bound));
}

TEST(ThreeDNowKernels, PowerSaturatesOutsideTheFloatRange) {
    EXPECT_GT(amd_power(10.0f, 50.0f), 3.4e38f);
    EXPECT_TRUE(std::isfinite(amd_power(2.0f, 1000.0f)));
    EXPECT_EQ(amd_power(10.0f, -50.0f), 0.0f);
    EXPECT_EQ(amd_power(0.5f, 1000.0f), 0.0f);
    EXPECT_NEAR(amd_power(2.0f, 127.5f) / std::pow(2.0, 127.5), 1.0, power_bound(2.0f, 127.5f).rel);
    EXPECT_NEAR(amd_power(2.0f, -125.5f) / std::pow(2.0, -125.5), 1.0,
                power_bound(2.0f, -125.5f).rel);
}

TEST(ThreeDNowKernels, PowerOfZeroAndNegativeBases) {
    EXPECT_EQ(amd_power(0.0f, 2.5f), 0.0f);
    EXPECT_EQ(amd_power(-0.0f, 3.0f), 0.0f);
    EXPECT_EQ(amd_power(float_from_bits(1), 2.0f), 0.0f);
    EXPECT_EQ(amd_power(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(amd_power(0.0f, -1.0f), 3.4028235e38f);
    const std::vector<ArgPair> integral = {
        {-2.0f, 3.0f}, {-2.0f, 2.0f}, {-0.5f, -3.0f}, {-3.32f, 4.0f}, {-1.5f, 0.0f}};
    EXPECT_TRUE(power_within(amd_power, integral, power_bound));
    EXPECT_LT(amd_power(-2.0f, 3.0f), 0.0f);
    EXPECT_GT(amd_power(-2.0f, 2.0f), 0.0f);
    EXPECT_GT(amd_power(-2.0f, 16777218.0f), 3.4e38f);
    for (float y : {0.5f, -2.32f, 1e-3f})
        EXPECT_TRUE(std::isnan(amd_power(-2.0f, y))) << y;
}

// The production loop shape with the 3DNow! kernels: 10 passes of 600 000 calls at amount 2.
TEST(ThreeDNowLoops, TenPassesOf600000CallsAtAmountTwo) {
    expect_scalar_loop_at_amount_two<CountingAmd>();
}

TEST(ThreeDNowLoops, FloatTestRunsFivePassesPerAmount) {
    expect_float_test_passes(FloatPath::amd_3dnow, 1, 5, 0.2);
    // The results of the last iteration are the kernels' values there.
    const auto [x, y] = pass_arguments().back();
    EXPECT_EQ(float_state.result[0], amd_power(x, y));
    EXPECT_EQ(float_state.result[3], amd_log(y));
    EXPECT_EQ(float_state.result[5], amd_cos(y));
}
