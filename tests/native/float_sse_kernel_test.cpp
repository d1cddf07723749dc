#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <sstream>
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

// The kernels' formulas written out in scalar single precision, each operation in the kernels'
// order (this file is compiled without contraction). The reciprocal estimate and the truncating
// conversion come from the instructions themselves, so the transcription agrees bit for bit on
// any processor; any other coefficient, order or division gives other bits.
namespace transcribed {
float rcp(float v) {
    return _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(v)));
}
int truncated(float v) {
    return _mm_cvttss_si32(_mm_set_ss(v));
}
// MINSS and MAXSS: the second operand unless the first is strictly smaller (larger).
float min_ss(float a, float b) {
    return a < b ? a : b;
}
float max_ss(float a, float b) {
    return a > b ? a : b;
}

// sin(t π/2) with the sign from `sign` and from bit 1 of the quarter.
float quarter_sine(float t, uint32_t sign) {
    const int k = truncated(t);
    float f = min_ss(t - static_cast<float>(k), 1.0f);
    if (k & 1)
        f = 1.0f - f;
    const float f2 = f * f;
    float p = f2 * -0.0046817539f + 0.079692625f;
    p = p * f2 + -0.64596409f;
    p = p * f2 + 1.5707964f;
    const uint32_t quarter_sign = (static_cast<uint32_t>(k) & 2u) << 30;
    return float_from_bits(bits_from_float(f * p) ^ sign ^ quarter_sign);
}

float sin(float x) {
    return quarter_sine(std::fabs(x) * 0.63661975f, bits_from_float(x) & 0x80000000u);
}

float cos(float x) {
    return quarter_sine((std::fabs(x) + 1.5707964f) * 0.63661975f, 0);
}

// ln m for 1 ≤ m < 2: z = 2(m − 1)/(m + 1), z + z·z²·P(z²)/Q(z²).
float ln_mantissa(float m) {
    const float num = m - 1.0f;
    const float z = (num + num) * rcp(m + 1.0f);
    const float w = z * z;
    float p = w * -0.78958028f + 16.386665f;
    p = p * w + -64.141f;
    float q = w * -35.672279f + 312.09378f;
    q = q * w + -769.69196f;
    return z + z * w * p * rcp(q);
}

// x raised to the smallest normal float, then split into mantissa and exponent.
void split(float x, float& m, float& e) {
    const uint32_t bits = bits_from_float(max_ss(x, FLT_MIN));
    e = static_cast<float>(static_cast<int>((bits >> 23) & 0xFFu) - 127);
    m = float_from_bits((bits & 0x007FFFFFu) | 0x3F800000u);
}

float log(float x) {
    float m, e;
    split(x, m, e);
    return ln_mantissa(m) + e * 0.69314718f;
}

// 2^t: the floor i into the exponent bits, 2^f = √2 e^u with u = (f − 1/2) ln 2 by the (3,3)
// Padé form 1 + 2uA/(B − uA), A = 60 + u², B = 120 + 12u².
float exp2(float t) {
    int i = truncated(t);
    if (static_cast<float>(i) > t)
        --i;
    const float f = t - static_cast<float>(i);
    const float u = (f - 0.5f) * 0.69314718f;
    const float u2 = u * u;
    const float ua = u * (u2 + 60.0f);
    const float b = u2 * 12.0f + 120.0f;
    const float ratio = (ua + ua) * rcp(b - ua);
    const float p = min_ss((ratio + 1.0f) * 1.41421356f, 1.9999999f);
    return p * float_from_bits(static_cast<uint32_t>(i + 127) << 23);
}

// x > 0.
float power(float x, float y) {
    float m, e;
    split(x, m, e);
    const float log2x = ln_mantissa(m) * 1.44269504f + e;
    const float t = min_ss(max_ss(y * log2x, -127.0f), 127.99999f);
    return exp2(t);
}
} // namespace transcribed

// A kernel applied to one argument or to a pair, and the argument to report.
float apply(float (*f)(float), float x) {
    return f(x);
}
float apply(float (*f)(float, float), const ArgPair& p) {
    return f(p.first, p.second);
}
float first_of(float x) {
    return x;
}
float first_of(const ArgPair& p) {
    return p.first;
}

// The kernel and its transcription give the same bits for every argument.
template <class Arg, class Kernel>
testing::AssertionResult same_bits(const std::vector<Arg>& args, Kernel kernel, Kernel transcript) {
    size_t differ = 0;
    std::ostringstream first;
    for (const Arg& a : args) {
        const uint32_t got = bits_from_float(apply(kernel, a));
        const uint32_t want = bits_from_float(apply(transcript, a));
        if (got != want && differ++ == 0) {
            first.precision(9);
            first << std::hex << "first at argument " << first_of(a) << ": kernel 0x" << got
                  << ", formula 0x" << want;
        }
    }
    if (differ != 0)
        return testing::AssertionFailure() << std::dec << differ << " of " << args.size()
                                           << " arguments differ; " << first.str();
    return testing::AssertionSuccess();
}

} // namespace

TEST(SseKernels, EveryBitAsTheFormulasGiveIt) {
    const std::vector<ArgPair> pass = pass_arguments();
    std::vector<float> trig = linear_sweep(-64 * M_PI, 64 * M_PI, 200001);
    for (const ArgPair& p : pass) {
        trig.push_back(p.first);
        trig.push_back(p.second);
    }
    EXPECT_TRUE(same_bits(trig, SseFloat::sin, transcribed::sin));
    EXPECT_TRUE(same_bits(trig, SseFloat::cos, transcribed::cos));

    std::vector<float> logs = log_sweep(FLT_MIN, FLT_MAX, 200001);
    for (float x : linear_sweep(0.5, 2.0, 100001))
        logs.push_back(x);
    for (const ArgPair& p : pass) {
        logs.push_back(p.first);
        logs.push_back(p.second);
    }
    for (float x : {0.0f, -0.0f, float_from_bits(1), float_from_bits(0x007FFFFF), -1.0f, -FLT_MIN})
        logs.push_back(x);
    EXPECT_TRUE(same_bits(logs, SseFloat::log, transcribed::log));

    std::vector<ArgPair> powers = pass;
    for (const ArgPair& p : swapped(pass))
        powers.push_back(p);
    for (float x : log_sweep(0.01, 100.0, 301))
        for (float y : linear_sweep(-8.0, 8.0, 301))
            powers.emplace_back(x, y);
    for (const ArgPair& p : std::vector<ArgPair>{{10.0f, 50.0f},
                                                 {10.0f, -50.0f},
                                                 {2.0f, 127.5f},
                                                 {2.0f, -125.5f},
                                                 {FLT_MIN, 0.5f},
                                                 {FLT_MAX, 1.0f}})
        powers.push_back(p);
    EXPECT_TRUE(same_bits(powers, SseFloat::power, transcribed::power));
}

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
    for (float x :
         {0.0f, -0.0f, float_from_bits(1), float_from_bits(0x007FFFFF), -1.0f, -FLT_MIN, -FLT_MAX})
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
