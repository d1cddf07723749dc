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
float sin1(float x) {
    return _mm_cvtss_f32(sse_sin(_mm_set_ss(x)));
}
float cos1(float x) {
    return _mm_cvtss_f32(sse_cos(_mm_set_ss(x)));
}
float log1(float x) {
    return _mm_cvtss_f32(sse_log(_mm_set_ss(x)));
}
float sse_pow(float x, float y) {
    return _mm_cvtss_f32(sse_power(_mm_set_ss(x), _mm_set_ss(y)));
}

constexpr Bound kTrigBound{2e-4, 0.0};
Bound log_bound(float x) {
    return {3e-4 + std::ldexp(std::fabs(std::log(static_cast<double>(x))), -22), 0.0};
}
Bound power_bound(float x, float y) {
    const double t = std::fabs(y * std::log2(static_cast<double>(x)));
    return {0.0, 2.5e-4 + 3e-4 * std::fabs(y) + 1e-7 * t};
}

using Pair = std::pair<float, float>;

testing::AssertionResult unary_within(float (*kernel)(float), double (*reference)(double),
                                      const std::vector<float>& xs, Bound (*bound)(float)) {
    return within_bound<float>(
        xs, [kernel](const float& x) { return kernel(x); },
        [reference](const float& x) { return reference(static_cast<double>(x)); }, bound);
}

testing::AssertionResult power_within(const std::vector<Pair>& args) {
    return within_bound<Pair>(
        args, [](const Pair& a) { return sse_pow(a.first, a.second); },
        [](const Pair& a) {
            return std::pow(static_cast<double>(a.first), static_cast<double>(a.second));
        },
        [](const Pair& a) { return power_bound(a.first, a.second); });
}

std::vector<float> firsts(const std::vector<Pair>& v) {
    std::vector<float> out;
    for (const Pair& p : v)
        out.push_back(p.first);
    return out;
}

std::vector<float> seconds(const std::vector<Pair>& v) {
    std::vector<float> out;
    for (const Pair& p : v)
        out.push_back(p.second);
    return out;
}

std::vector<Pair> swapped(const std::vector<Pair>& v) {
    std::vector<Pair> out;
    for (const Pair& p : v)
        out.emplace_back(p.second, p.first);
    return out;
}

Bound trig_bound(float) {
    return kTrigBound;
}
} // namespace

TEST(SseKernels, AccurateOverTheArgumentsOfThePass) {
    const std::vector<Pair> args = pass_arguments();
    EXPECT_TRUE(power_within(args));
    EXPECT_TRUE(power_within(swapped(args)));
    EXPECT_TRUE(unary_within(log1, std::log, firsts(args), log_bound));
    EXPECT_TRUE(unary_within(log1, std::log, seconds(args), log_bound));
    EXPECT_TRUE(unary_within(sin1, std::sin, firsts(args), trig_bound));
    EXPECT_TRUE(unary_within(cos1, std::cos, seconds(args), trig_bound));
}

TEST(SseKernels, SineAndCosineAccurateOverSixtyFourTurns) {
    const std::vector<float> xs = linear_sweep(-64 * M_PI, 64 * M_PI, 200001);
    EXPECT_TRUE(unary_within(sin1, std::sin, xs, trig_bound));
    EXPECT_TRUE(unary_within(cos1, std::cos, xs, trig_bound));
    // Odd and even.
    for (float x : {0.5f, 2.0f, 4.0f, 100.0f}) {
        EXPECT_EQ(sin1(-x), -sin1(x));
        EXPECT_EQ(cos1(-x), cos1(x));
    }
}

TEST(SseKernels, LogarithmAccurateOverTheNormalRange) {
    EXPECT_TRUE(unary_within(log1, std::log, log_sweep(FLT_MIN, FLT_MAX, 200001), log_bound));
    EXPECT_TRUE(unary_within(log1, std::log, linear_sweep(0.5, 2.0, 100001), log_bound));
}

TEST(SseKernels, LogarithmOfZeroAndDenormalsIsThatOfTheSmallestNormal) {
    const float at_min = log1(FLT_MIN);
    EXPECT_NEAR(at_min, std::log(static_cast<double>(FLT_MIN)), log_bound(FLT_MIN).abs);
    for (float x : {0.0f, -0.0f, float_from_bits(1), float_from_bits(0x007FFFFF)})
        EXPECT_EQ(log1(x), at_min) << x;
    EXPECT_TRUE(std::isnan(log1(-1.0f)));
    EXPECT_TRUE(std::isnan(log1(-FLT_MIN)));
}

TEST(SseKernels, PowerAccurateOverAWideGrid) {
    std::vector<Pair> args;
    for (float x : log_sweep(0.01, 100.0, 401))
        for (float y : linear_sweep(-8.0, 8.0, 401))
            args.emplace_back(x, y);
    EXPECT_TRUE(power_within(args));
}

TEST(SseKernels, PowerSaturatesOutsideTheFloatRange) {
    const float big = sse_pow(10.0f, 50.0f);
    EXPECT_TRUE(std::isfinite(big));
    EXPECT_GT(big, 3.4e38f);
    EXPECT_TRUE(std::isfinite(sse_pow(2.0f, 1000.0f)));
    EXPECT_EQ(sse_pow(10.0f, -50.0f), 0.0f);
    EXPECT_EQ(sse_pow(0.5f, 1000.0f), 0.0f);
    // Just inside the range the result is still accurate.
    EXPECT_NEAR(sse_pow(2.0f, 127.5f) / std::pow(2.0, 127.5), 1.0, power_bound(2.0f, 127.5f).rel);
    EXPECT_NEAR(sse_pow(2.0f, -125.5f) / std::pow(2.0, -125.5), 1.0,
                power_bound(2.0f, -125.5f).rel);
}

TEST(SseKernels, PowerOfZeroAndNegativeBases) {
    EXPECT_EQ(sse_pow(0.0f, 2.5f), 0.0f);
    EXPECT_EQ(sse_pow(-0.0f, 3.0f), 0.0f);
    EXPECT_EQ(sse_pow(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(sse_pow(-0.0f, -0.0f), 1.0f);
    EXPECT_EQ(sse_pow(0.0f, -1.0f), FLT_MAX);
    // Integral exponents give the real power, negative for odd exponents.
    const std::vector<Pair> integral = {
        {-2.0f, 3.0f}, {-2.0f, 2.0f}, {-0.5f, -3.0f}, {-3.32f, 4.0f}, {-1.5f, 0.0f}};
    EXPECT_TRUE(power_within(integral));
    EXPECT_LT(sse_pow(-2.0f, 3.0f), 0.0f);
    EXPECT_GT(sse_pow(-2.0f, 2.0f), 0.0f);
    // Beyond 2^24 every float is an even integer.
    EXPECT_NEAR(sse_pow(-1.0f, 1e8f), 1.0f, power_bound(1.0f, 0.0f).rel);
    EXPECT_GT(sse_pow(-2.0f, 16777218.0f), 3.4e38f);
    // Others have no real power.
    for (float y : {0.5f, -2.32f, 1e-3f})
        EXPECT_TRUE(std::isnan(sse_pow(-2.0f, y))) << y;
}
