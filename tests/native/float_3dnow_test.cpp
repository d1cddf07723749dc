#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/float_3dnow.h"
#include "engine/float_loops.h"
#include "engine/measure_float.h"
#include "sysinfo/cpu_id.h"
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

// The kernels' constant tables by their bit patterns (lanes 0 and 1): sine and cosine limit,
// 4/π, π/4 in two parts and the series factors (sine lane, cosine lane); √2, the logarithm's
// series, ln 2 in two parts; the power kernel's range and Padé coefficients; masks and integers.
#define KALVIT_3DN_TABLES(X)                                                                       \
    X(limit, 0x46C90FDBu, 0x46C90FDBu)                                                             \
    X(4_pi, 0x3FA2F983u, 0x3FA2F983u)                                                              \
    X(pio4_hi, 0x3F490000u, 0x3F490000u)                                                           \
    X(pio4_lo, 0x397DAA22u, 0x397DAA22u)                                                           \
    X(series_1, 0x00000000u, 0x3C924925u)                                                          \
    X(series_2, 0x3CC30C31u, 0x3D088889u)                                                          \
    X(series_3, 0x3D4CCCCDu, 0x3DAAAAABu)                                                          \
    X(series_4, 0x3E2AAAABu, 0x3F000000u)                                                          \
    X(sqrt2, 0x3FB504F3u, 0x3FB504F3u)                                                             \
    X(ln_c1, 0x3EAAAABDu, 0x3EAAAABDu)                                                             \
    X(ln_c2, 0x3E4CAF6Fu, 0x3E4CAF6Fu)                                                             \
    X(ln_c3, 0x3E18EFE2u, 0x3E18EFE2u)                                                             \
    X(ln2_hi, 0x3F317200u, 0x3F317200u)                                                            \
    X(ln2_lo, 0x35BFBE8Eu, 0x35BFBE8Eu)                                                            \
    X(ln2, 0x3F317218u, 0x3F317218u)                                                               \
    X(log2e, 0x3FB8AA3Bu, 0x3FB8AA3Bu)                                                             \
    X(t_min, 0xC2FE0000u, 0xC2FE0000u)                                                             \
    X(t_max, 0x42FFFFFFu, 0x42FFFFFFu)                                                             \
    X(below_two, 0x3FFFFFFFu, 0x3FFFFFFFu)                                                         \
    X(12, 0x41400000u, 0x41400000u)                                                                \
    X(60, 0x42700000u, 0x42700000u)                                                                \
    X(120, 0x42F00000u, 0x42F00000u)                                                               \
    X(one, 0x3F800000u, 0x3F800000u)                                                               \
    X(half, 0x3F000000u, 0x3F000000u)                                                              \
    X(max, 0x7F7FFFFFu, 0x7F7FFFFFu)                                                               \
    X(neg_max, 0xFF7FFFFFu, 0xFF7FFFFFu)                                                           \
    X(sign, 0x80000000u, 0x80000000u)                                                              \
    X(abs, 0x7FFFFFFFu, 0x7FFFFFFFu)                                                               \
    X(mantissa, 0x007FFFFFu, 0x007FFFFFu)                                                          \
    X(exponent_step, 0x00800000u, 0x00800000u)                                                     \
    X(nan, 0x7FC00000u, 0x7FC00000u)                                                               \
    X(int_1, 0x00000001u, 0x00000001u)                                                             \
    X(int_2, 0x00000002u, 0x00000002u)                                                             \
    X(int_4, 0x00000004u, 0x00000004u)                                                             \
    X(int_127, 0x0000007Fu, 0x0000007Fu)

#define KALVIT_3DN_DECLARE(name, lane0, lane1)                                                     \
    extern const uint32_t k3dn_##name##_bits[2] asm("k3dn_" #name);
KALVIT_3DN_TABLES(KALVIT_3DN_DECLARE)

TEST(ThreeDNowKernels, ConstantTablesHoldTheirBitPatterns) {
    struct Table {
        const char* name;
        const uint32_t* bits;
        uint32_t lane0, lane1;
    };
#define KALVIT_3DN_ROW(name, lane0, lane1) {#name, k3dn_##name##_bits, lane0, lane1},
    const Table tables[] = {KALVIT_3DN_TABLES(KALVIT_3DN_ROW)};
    for (const Table& t : tables) {
        EXPECT_EQ(t.bits[0], t.lane0) << "k3dn_" << t.name;
        EXPECT_EQ(t.bits[1], t.lane1) << "k3dn_" << t.name;
    }
}

TEST(ThreeDNow, ProcessorReportsIt) {
    EXPECT_TRUE(cpu_has_3dnow());
}

namespace {
// The x87 tag word: 0xFFFF when all eight registers are free.
uint16_t x87_tags() {
    unsigned char env[28];
    asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(env));
    return static_cast<uint16_t>(env[8] | env[9] << 8);
}
} // namespace

// Identification on the emulated Phenom, through the EFLAGS probe in 32-bit code: the vendor,
// the base family and model, the extensions, and the MMX state emptied at the end.
TEST(ThreeDNow, IdentificationFindsItAndLeavesTheMmxStateEmpty) {
    // An MMX instruction marks every x87 register in use.
    asm volatile("pxor %mm0, %mm0");
    EXPECT_NE(x87_tags(), 0xFFFF);
    CpuIdentity r{};
    uint32_t bits = identify_cpu(&r);
    EXPECT_EQ(x87_tags(), 0xFFFF);
    EXPECT_EQ(identify_cpu(nullptr), bits);
    EXPECT_STREQ(r.vendor, "AuthenticAMD");
    EXPECT_EQ(r.family, 15u);
    EXPECT_STREQ(r.name, "AMD Opteron Model 2");
    const uint32_t expected = kCpuMmx | kCpuSse | kCpuSse2 | kCpu3DNow | kCpuTsc | kCpuMsr;
    EXPECT_EQ(bits, expected);
}

// Each wrapper leaves the multimedia state: MMX code marks every x87 register in use, and a
// 32-bit caller then takes the float result on a full x87 stack (a NaN on real processors).
TEST(ThreeDNowKernels, WrappersLeaveTheX87RegistersFree) {
    volatile float sink = 0.0f;
    ASSERT_EQ(x87_tags(), 0xFFFF);
    sink = amd_power(2.0f, 3.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "power";
    EXPECT_FLOAT_EQ(sink, 8.0f);
    sink = amd_log(2.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "log";
    sink = amd_sin(1.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "sin";
    sink = amd_cos(1.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "cos";
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
