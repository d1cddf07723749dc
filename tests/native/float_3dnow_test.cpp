#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "engine/float_3dnow.h"
#include "engine/measure_float.h"
#include "sysinfo/cpu_id.h"
#include "tests/native/float_test_support.h"

// The 3DNow! kernels, run on an emulated processor with 3DNow!. The reciprocal is refined to
// full single precision, so the bounds come from the series and float32 rounding: sine and
// cosine (|x| below the limit) to 1e-6 absolute; the logarithm to 1e-7 + 3e-7 relative; the
// power relatively by 5e-7 + 1e-7 |y| + 1e-7 |t| for the exponent t = y log2 x.

namespace {
struct AmdTag {};
using CountingAmd = CountingKernels<AmdKernels, AmdTag>;

constexpr float kLimit = 25735.928f;

// The x87 tag word: 0xFFFF when all eight registers are free.
uint16_t x87_tags() {
    unsigned char env[28];
    asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(env));
    return static_cast<uint16_t>(env[8] | env[9] << 8);
}
} // namespace

// Identification on the emulated Phenom through the EFLAGS probe in 32-bit code, and the MMX
// state emptied at the end of it and of every kernel wrapper (a 32-bit caller takes the float
// result on the x87 stack, a NaN on a full one).
TEST(ThreeDNow, IdentificationAndWrappersLeaveTheX87RegistersFree) {
    asm volatile("pxor %mm0, %mm0");
    EXPECT_NE(x87_tags(), 0xFFFF);
    CpuIdentity r{};
    uint32_t bits = identify_cpu(&r);
    EXPECT_EQ(x87_tags(), 0xFFFF);
    EXPECT_TRUE(cpu_has_3dnow());
    EXPECT_STREQ(r.vendor, "AuthenticAMD");
    EXPECT_STREQ(r.name, "AMD Opteron Model 2");
    EXPECT_EQ(bits, kCpuMmx | kCpuSse | kCpuSse2 | kCpu3DNow | kCpuTsc | kCpuMsr);

    volatile float sink = amd_power(2.0f, 3.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "power";
    EXPECT_FLOAT_EQ(sink, 8.0f);
    sink = amd_log(2.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "log";
    sink = amd_sin(1.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "sin";
    sink = amd_cos(1.0f);
    EXPECT_EQ(x87_tags(), 0xFFFF) << "cos";
}

TEST(ThreeDNowKernels, AccurateOverTheirDomains) {
    expect_accuracy<AmdKernels>(
        sweep(-std::nextafter(kLimit, 0.0f), std::nextafter(kLimit, 0.0f), 200001),
        [](float, float) { return Bound{1e-6, 0.0}; },
        [](float, float) { return Bound{1e-7, 3e-7}; },
        [](float x, float y) {
            const double t = std::fabs(y * std::log2(static_cast<double>(x)));
            return Bound{0.0, 5e-7 + 1e-7 * std::fabs(y) + 1e-7 * t};
        });
}

// The emulated processor refines its reciprocals exactly: the kernels' bits over a pass are
// known.
TEST(ThreeDNowKernels, KnownBitsOverThePass) {
    EXPECT_EQ(pass_digest(amd_log), 0xD581E0EAu);
    EXPECT_EQ(pass_digest(amd_sin), 0x916BDCF3u);
    EXPECT_EQ(pass_digest(amd_cos), 0x297CF6A3u);
}

TEST(ThreeDNowKernels, EdgesOfTheDomains) {
    for (float x : {kLimit, -kLimit, -1e9f, FLT_MAX}) {
        EXPECT_EQ(amd_sin(x), 0.0f) << x;
        EXPECT_EQ(amd_cos(x), 1.0f) << x;
    }
    for (float x : {0.0f, -0.0f, float_from_bits(1), float_from_bits(0x80000001)})
        EXPECT_EQ(amd_log(x), -3.4028235e38f) << x;
    EXPECT_TRUE(std::isnan(amd_log(-FLT_MIN)));
    EXPECT_GT(amd_power(10.0f, 50.0f), 3.4e38f);
    EXPECT_TRUE(std::isfinite(amd_power(2.0f, 1000.0f)));
    EXPECT_EQ(amd_power(10.0f, -50.0f), 0.0f);
    EXPECT_EQ(amd_power(float_from_bits(1), 2.0f), 0.0f);
    EXPECT_EQ(amd_power(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(amd_power(0.0f, -1.0f), 3.4028235e38f);
    EXPECT_LT(amd_power(-2.0f, 3.0f), 0.0f);
    EXPECT_GT(amd_power(-2.0f, 16777218.0f), 3.4e38f);
    for (float y : {0.5f, -2.32f})
        EXPECT_TRUE(std::isnan(amd_power(-2.0f, y))) << y;
}

// The production loop shape with the 3DNow! kernels, and float_test on that path.
TEST(ThreeDNowLoops, TenPassesOf600000CallsAtAmountTwoAndFivePassesPerAmount) {
    expect_scalar_loop_at_amount_two<CountingAmd>();
    expect_float_test_passes(FloatPath::amd_3dnow, 1, 5, 0.2);
    const auto [x, y] = pass_arguments().back();
    EXPECT_EQ(float_state.result[0], amd_power(x, y));
    EXPECT_EQ(float_state.result[3], amd_log(y));
    EXPECT_EQ(float_state.result[5], amd_cos(y));
}
