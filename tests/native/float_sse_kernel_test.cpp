#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/float_sse.h"
#include "tests/native/float_test_support.h"

// Error bounds of the SSE kernels against the C library in double precision. Every division is
// the reciprocal estimate RCPSS, whose relative error the architecture bounds by 1.5 × 2^-12
// (3.66e-4); that and the short series set the bounds:
// - sine, cosine: the series of sin(f π/2) stops after f^7; the first term left out is
//   (π/2)^9/9! = 1.6e-4 at f = 1. Reducing |x| ≤ 64π to quarter turns in float32 adds at most
//   128 × 2^-24 × π/2 = 1.2e-5. Absolute bound 2e-4 (relative would fail at every zero).
// - logarithm: z = 2(m − 1) × rcp(m + 1) with |z| ≤ 2/3 is off by up to 2.4e-4, and
//   d(ln m)/dz = 1/(1 − z²/4) ≤ 1.125, so ln m is off by up to 2.8e-4; the estimate of 1/Q only
//   touches the z³ term (< 0.03), 1e-5. Absolute bound 3e-4 plus 2^-22 of |ln x| for rounding.
//   Near x = 1 the result is small, so this is an absolute bound, not a relative one.
// - power: the error of ln x scales by y into the exponent, so the result is off relatively by
//   |y| × 3e-4; 2^f takes its one reciprocal estimate on a term below 0.42 of a result above
//   0.7, 2.2e-4; rounding the exponent t = y log2 x to float32 adds 2^-24 ln 2 |t|.
//   Relative bound 2.5e-4 + 3e-4 |y| + 1e-7 |t|.

namespace {
// The SSE kernels seen through float arguments and results.
struct SseFloat {
    static float power(float x, float y) {
        return _mm_cvtss_f32(sse_power(_mm_set_ss(x), _mm_set_ss(y)));
    }
    static float log(float x) { return _mm_cvtss_f32(sse_log(_mm_set_ss(x))); }
    static float sin(float x) { return _mm_cvtss_f32(sse_sin(_mm_set_ss(x))); }
    static float cos(float x) { return _mm_cvtss_f32(sse_cos(_mm_set_ss(x))); }
};

Bound trig_bound(float) {
    return {2e-4, 0.0};
}
Bound log_bound(float x) {
    return {3e-4 + std::ldexp(std::fabs(std::log(static_cast<double>(x))), -22), 0.0};
}
Bound power_bound(float x, float y) {
    const double t = std::fabs(y * std::log2(static_cast<double>(x)));
    return {0.0, 2.5e-4 + 3e-4 * std::fabs(y) + 1e-7 * t};
}

} // namespace

TEST(SseKernels, AccurateOverTheArgumentsOfThePass) {
    expect_pass_accuracy<SseFloat>(power_bound, log_bound, trig_bound);
}

TEST(SseKernels, SineAndCosineAccurateOverSixtyFourTurns) {
    const std::vector<float> xs = linear_sweep(-64 * M_PI, 64 * M_PI, 200001);
    EXPECT_TRUE(unary_within(SseFloat::sin, std::sin, xs, trig_bound));
    EXPECT_TRUE(unary_within(SseFloat::cos, std::cos, xs, trig_bound));
    // Odd and even.
    for (float x : {0.5f, 2.0f, 4.0f, 100.0f}) {
        EXPECT_EQ(SseFloat::sin(-x), -SseFloat::sin(x));
        EXPECT_EQ(SseFloat::cos(-x), SseFloat::cos(x));
    }
}

TEST(SseKernels, LogarithmAccurateOverTheNormalRange) {
    EXPECT_TRUE(
        unary_within(SseFloat::log, std::log, log_sweep(FLT_MIN, FLT_MAX, 200001), log_bound));
    EXPECT_TRUE(unary_within(SseFloat::log, std::log, linear_sweep(0.5, 2.0, 100001), log_bound));
}

TEST(SseKernels, LogarithmBelowTheSmallestNormalIsThatOfTheSmallestNormal) {
    const float at_min = SseFloat::log(FLT_MIN);
    EXPECT_NEAR(at_min, std::log(static_cast<double>(FLT_MIN)), log_bound(FLT_MIN).abs);
    // Negative arguments, too, are raised to the smallest normal float.
    for (float x : {0.0f, -0.0f, float_from_bits(1), float_from_bits(0x007FFFFF), -1.0f, -FLT_MIN,
                    -FLT_MAX})
        EXPECT_EQ(SseFloat::log(x), at_min) << x;
}

TEST(SseKernels, PowerAccurateOverAWideGrid) {
    std::vector<ArgPair> args;
    for (float x : log_sweep(0.01, 100.0, 401))
        for (float y : linear_sweep(-8.0, 8.0, 401))
            args.emplace_back(x, y);
    EXPECT_TRUE(power_within(SseFloat::power, args, power_bound));
}

TEST(SseKernels, PowerSaturatesOutsideTheFloatRange) {
    const float big = SseFloat::power(10.0f, 50.0f);
    EXPECT_TRUE(std::isfinite(big));
    EXPECT_GT(big, 3.4e38f);
    EXPECT_TRUE(std::isfinite(SseFloat::power(2.0f, 1000.0f)));
    EXPECT_EQ(SseFloat::power(10.0f, -50.0f), 0.0f);
    EXPECT_EQ(SseFloat::power(0.5f, 1000.0f), 0.0f);
    // Just inside the range the result is still accurate.
    EXPECT_NEAR(SseFloat::power(2.0f, 127.5f) / std::pow(2.0, 127.5), 1.0,
                power_bound(2.0f, 127.5f).rel);
    EXPECT_NEAR(SseFloat::power(2.0f, -125.5f) / std::pow(2.0, -125.5), 1.0,
                power_bound(2.0f, -125.5f).rel);
}

TEST(SseKernels, PowerOfZeroAndNegativeBases) {
    EXPECT_EQ(SseFloat::power(0.0f, 2.5f), 0.0f);
    EXPECT_EQ(SseFloat::power(-0.0f, 3.0f), 0.0f);
    EXPECT_EQ(SseFloat::power(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(SseFloat::power(-0.0f, -0.0f), 1.0f);
    EXPECT_EQ(SseFloat::power(0.0f, -1.0f), FLT_MAX);
    // Integral exponents give the real power, negative for odd exponents.
    const std::vector<ArgPair> integral = {
        {-2.0f, 3.0f}, {-2.0f, 2.0f}, {-0.5f, -3.0f}, {-3.32f, 4.0f}, {-1.5f, 0.0f}};
    EXPECT_TRUE(power_within(SseFloat::power, integral, power_bound));
    EXPECT_LT(SseFloat::power(-2.0f, 3.0f), 0.0f);
    EXPECT_GT(SseFloat::power(-2.0f, 2.0f), 0.0f);
    // Beyond 2^24 every float is an even integer.
    EXPECT_NEAR(SseFloat::power(-1.0f, 1e8f), 1.0f, power_bound(1.0f, 0.0f).rel);
    EXPECT_GT(SseFloat::power(-2.0f, 16777218.0f), 3.4e38f);
    // Others have no real power.
    for (float y : {0.5f, -2.32f, 1e-3f})
        EXPECT_TRUE(std::isnan(SseFloat::power(-2.0f, y))) << y;
}
