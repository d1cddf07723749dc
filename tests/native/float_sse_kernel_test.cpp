#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "engine/float_sse.h"
#include "tests/native/float_test_support.h"

// Error bounds of the SSE kernels against the C library in double precision, set by RCPSS
// (relative error up to 1.5 × 2^-12) and the short series: sine and cosine to 2e-4 absolute
// (the f^9 term left out is 1.6e-4); the logarithm to 3e-4 absolute plus float rounding of
// |ln x|; the power relatively by 2.5e-4 + 3e-4 |y| (ln x's error scaled by y) + 1e-7 |t| for
// the float32 exponent t = y log2 x.

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

Bound trig_bound(float, float) {
    return {2e-4, 0.0};
}
Bound log_bound(float x, float) {
    return {3e-4 + std::ldexp(std::fabs(std::log(static_cast<double>(x))), -22), 0.0};
}
Bound power_bound(float x, float y) {
    const double t = std::fabs(y * std::log2(static_cast<double>(x)));
    return {0.0, 2.5e-4 + 3e-4 * std::fabs(y) + 1e-7 * t};
}

// The logarithm's reciprocal estimates differ between processor makers, so its bits are checked
// against the way it is built, with the estimate taken from the instruction itself: z = 2(m − 1)
// × rcp(m + 1), ln m = z + z·z²·P(z²) × rcp(Q(z²)), plus the exponent × ln 2.
float rcp(float v) {
    return _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(v)));
}
float log_as_built(float x) {
    const uint32_t bits = bits_from_float(x > FLT_MIN ? x : FLT_MIN);
    const float e = static_cast<float>(static_cast<int>((bits >> 23) & 0xFFu) - 127);
    const float m = float_from_bits((bits & 0x007FFFFFu) | 0x3F800000u);
    const float num = m - 1.0f;
    const float z = (num + num) * rcp(m + 1.0f);
    const float w = z * z;
    const float p = (w * -0.78958028f + 16.386665f) * w + -64.141f;
    const float q = (w * -35.672279f + 312.09378f) * w + -769.69196f;
    return z + z * w * p * rcp(q) + e * 0.69314718f;
}
} // namespace

TEST(SseKernels, AccurateOverTheirDomains) {
    expect_accuracy<SseFloat>(sweep(-64 * M_PI, 64 * M_PI, 200001), trig_bound, log_bound,
                              power_bound);
    for (float x : {0.5f, 2.0f, 100.0f}) {
        EXPECT_EQ(SseFloat::sin(-x), -SseFloat::sin(x));
        EXPECT_EQ(SseFloat::cos(-x), SseFloat::cos(x));
    }
}

// Sine and cosine use no estimate: their bits over a pass are the same on every processor.
TEST(SseKernels, KnownBitsOverThePass) {
    EXPECT_EQ(pass_digest(SseFloat::sin), 0xD93CF4BEu);
    EXPECT_EQ(pass_digest(SseFloat::cos), 0x3A08BC2Bu);
    size_t differ = 0;
    for (const auto& [x, y] : sweep(FLT_MIN, FLT_MAX, 200001, true))
        differ += bits_from_float(SseFloat::log(x)) != bits_from_float(log_as_built(x));
    for (const auto& [x, y] : pass_arguments())
        for (float v : {x, y})
            differ += bits_from_float(SseFloat::log(v)) != bits_from_float(log_as_built(v));
    EXPECT_EQ(differ, 0u);
}

TEST(SseKernels, EdgesOfTheDomains) {
    // Below the smallest normal float, negative arguments too: ln FLT_MIN.
    const float at_min = SseFloat::log(FLT_MIN);
    EXPECT_NEAR(at_min, std::log(double{FLT_MIN}), 3e-4);
    for (float x : {0.0f, -0.0f, float_from_bits(1), float_from_bits(0x007FFFFF), -1.0f, -FLT_MAX})
        EXPECT_EQ(SseFloat::log(x), at_min) << x;
    // The power saturates outside the float range and is accurate just inside it.
    EXPECT_GT(SseFloat::power(10.0f, 50.0f), 3.4e38f);
    EXPECT_TRUE(std::isfinite(SseFloat::power(2.0f, 1000.0f)));
    EXPECT_EQ(SseFloat::power(10.0f, -50.0f), 0.0f);
    EXPECT_EQ(SseFloat::power(0.5f, 1000.0f), 0.0f);
    EXPECT_TRUE(within_bound({{2.0f, 127.5f}, {2.0f, -125.5f}, {-2.0f, 3.0f}, {-0.5f, -3.0f},
                              {-3.32f, 4.0f}, {-1.5f, 0.0f}},
                             SseFloat::power,
                             [](float x, float y) { return std::pow(double{x}, double{y}); },
                             power_bound));
    // Zero and negative bases: integral exponents give the real power, others NaN.
    EXPECT_EQ(SseFloat::power(0.0f, 2.5f), 0.0f);
    EXPECT_EQ(SseFloat::power(-0.0f, 3.0f), 0.0f);
    EXPECT_EQ(SseFloat::power(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(SseFloat::power(0.0f, -1.0f), FLT_MAX);
    EXPECT_LT(SseFloat::power(-2.0f, 3.0f), 0.0f);
    EXPECT_NEAR(SseFloat::power(-1.0f, 1e8f), 1.0f, 3e-4); // beyond 2^24 every float is even
    EXPECT_GT(SseFloat::power(-2.0f, 16777218.0f), 3.4e38f);
    for (float y : {0.5f, -2.32f, 1e-3f})
        EXPECT_TRUE(std::isnan(SseFloat::power(-2.0f, y))) << y;
}
