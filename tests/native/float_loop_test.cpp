#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "engine/float_3dnow.h"
#include "engine/float_loops.h"
#include "engine/float_sse.h"
#include "engine/measure_float.h"
#include "shell/log.h"
#include "tests/native/float_test_support.h"

namespace {
struct Libm {
    static float power(float x, float y) { return static_cast<float>(std::pow(x, y)); }
    static float log(float x) { return std::log(x); }
    static float sin(float x) { return std::sin(x); }
    static float cos(float x) { return std::cos(x); }
    static void leave() {}
};

// The SSE kernel set seen through float arguments, so the shared counters apply. It takes the
// kernels' convention, like the SSE loop that calls it.
template <class Counting> struct SseCounting {
    static KALVIT_XMM_CC __m128 power(__m128 x, __m128 y) {
        Counting::power(_mm_cvtss_f32(x), _mm_cvtss_f32(y));
        return sse_power(x, y);
    }
    static KALVIT_XMM_CC __m128 log(__m128 x) {
        Counting::log(_mm_cvtss_f32(x));
        return sse_log(x);
    }
    static KALVIT_XMM_CC __m128 sin(__m128 x) {
        Counting::sin(_mm_cvtss_f32(x));
        return sse_sin(x);
    }
    static KALVIT_XMM_CC __m128 cos(__m128 x) {
        Counting::cos(_mm_cvtss_f32(x));
        return sse_cos(x);
    }
    static void leave() { Counting::leave(); }
};

struct ScalarTag {};
struct SseTag {};
using CountingScalar = CountingKernels<Libm, ScalarTag>;
using CountingSse = CountingKernels<Libm, SseTag>;

} // namespace

// The loop shape the plain and the 3DNow! paths share.
TEST(FloatLoops, ScalarLoopMakesTenPassesOf600000CallsAtAmountTwo) {
    expect_scalar_loop_at_amount_two<CountingScalar>();
}

TEST(FloatLoops, SseLoopMakesTenPassesOf600000CallsAndAnEmptyLoopWithoutInnerLoop) {
    CountingSse::counts = {};
    ProgressRecorder rec;
    FloatState state;
    run_at_amount_two({5, 0.2, sse_work_pass<SseCounting<CountingSse>>, sse_empty_pass}, rec,
                      state);
    expect_loop_calls(CountingSse::counts, 10);
    EXPECT_EQ(rec.fractions.size(), 20u);
    // The empty loop only sets the start values.
    EXPECT_EQ(bits_from_float(state.x), 0x40147AE1u);
    EXPECT_EQ(bits_from_float(state.y), 0x3E6B851Fu);
}

#if defined(__i386__)
namespace {
// Calls the SSE loop with the stack pointer 4 bytes off the 16-byte alignment at the call.
void sse_loop_from_misaligned_stack(int count, volatile float& x, volatile float& y) {
    struct Call {
        void (*loop)(int, volatile float&, volatile float&);
        int count;
        volatile float* x;
        volatile float* y;
    } call{sse_float_loop<SseKernels>, count, &x, &y};
    asm volatile("mov %%esp, %%esi\n\t"
                 "and $-16, %%esp\n\t"
                 "sub $8, %%esp\n\t"
                 "push 12(%[call])\n\t"
                 "push 8(%[call])\n\t"
                 "push 4(%[call])\n\t"
                 "call *(%[call])\n\t"
                 "mov %%esi, %%esp"
                 :
                 : [call] "b"(&call)
                 : "eax", "ecx", "edx", "esi", "memory", "cc", "st", "st(1)", "st(2)", "st(3)",
                   "st(4)", "st(5)", "st(6)", "st(7)", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4",
                   "xmm5", "xmm6", "xmm7");
}
} // namespace
#endif

// sse_float_loop runs `count` iterations and steps x and y on the x87 unit, rounding each sum to
// float32. (The double constants round to the same sums as float32 ones would; the object-code
// check sees that they are double additions.)
TEST(FloatLoops, SseLoopStepsXAndYCountTimes) {
    // The run computes with 53-bit x87 precision.
    uint16_t saved_cw = 0;
    const uint16_t run_cw = 0x027F;
    asm volatile("fnstcw %0\n\tfldcw %1" : "=m"(saved_cw) : "m"(run_cw));
    volatile float x = float_from_bits(0x40147AE1u), y = float_from_bits(0x3E6B851Fu);
    sse_float_loop(100000, x, y);
    volatile float x1 = float_from_bits(0x40147AE1u), y1 = float_from_bits(0x3E6B851Fu);
    sse_float_loop(1, x1, y1);
    volatile float x0 = 5.0f, y0 = 6.0f;
    sse_float_loop(0, x0, y0);
#if defined(__i386__)
    // A 32-bit Windows caller guarantees a 4-byte aligned stack only; the loop aligns its own
    // frame for its vectors (MOVAPS faults on a misaligned one).
    volatile float xm = float_from_bits(0x40147AE1u), ym = float_from_bits(0x3E6B851Fu);
    sse_loop_from_misaligned_stack(100000, xm, ym);
    EXPECT_EQ(bits_from_float(xm), kPassEndX);
    EXPECT_EQ(bits_from_float(ym), kPassEndY);
#endif
    asm volatile("fldcw %0" : : "m"(saved_cw));
    EXPECT_EQ(bits_from_float(x), kPassEndX);
    EXPECT_EQ(bits_from_float(y), kPassEndY);
    EXPECT_EQ(bits_from_float(x1), 0x40147B0Bu);
    EXPECT_EQ(bits_from_float(y1), 0x3E6B8562u);
    EXPECT_EQ(x0, 5.0f);
    EXPECT_EQ(y0, 6.0f);
}

TEST(FloatLoops, StartValuesAndStepsAreTheSpecifiedFloats) {
    EXPECT_EQ(bits_from_float(kFloatStartX), 0x40147AE1u);
    EXPECT_EQ(bits_from_float(kFloatStartY), 0x3E6B851Fu);
    EXPECT_EQ(bits_from_float(kFloatStepX), 0x3727C5ACu);
    EXPECT_EQ(bits_from_float(kFloatStepY), 0x358637BDu);
    // The plain path's progress step.
    ProgressRecorder rec;
    ScriptedTimer timer{0, 1100, 0, 100};
    float_test(1, FloatPath::plain, rec.hooks());
    ASSERT_FALSE(rec.fractions.empty());
    EXPECT_EQ(rec.fractions[0], static_cast<double>(float_from_bits(0x3EAAAA3Bu)));
}

TEST(FloatTest, PlainPathRunsThreePassesPerAmountAndReportsThirds) {
    expect_float_test_passes(FloatPath::plain, 2, 3, static_cast<double>(0.33333f));
    // The last pass of the work loop ran its 100 000 iterations: its results belong to the
    // arguments of the last iteration.
    const float last_x = pass_arguments().back().first;
    EXPECT_EQ(float_state.result[4], static_cast<float>(std::sin(static_cast<double>(last_x))));
    EXPECT_EQ(bits_from_float(float_state.x), kPassEndX);
}

TEST(FloatTest, SsePathRunsFivePassesPerAmountAndReportsFifths) {
    expect_float_test_passes(FloatPath::sse, 2, 5, 0.2);
}

TEST(FloatTest, NetTimeIsClampedAfterTheSubtraction) {
    {
        // 12 − 5 = 7 ms counts as 10 ms.
        ScriptedTimer timer{0, 12, 0, 5};
        EXPECT_FLOAT_EQ(float_test(1, FloatPath::sse, {}), static_cast<float>(5 * 600.0 / 10));
    }
    {
        // An empty loop slower than the work loop wraps around and counts as 1 000 000 ms.
        ScriptedTimer timer{0, 100, 0, 200};
        EXPECT_FLOAT_EQ(float_test(1, FloatPath::sse, {}), static_cast<float>(5 * 600.0 / 1000000));
    }
    {
        // The work time itself is not clamped: 1 500 000 − 600 000 stays 900 000.
        ScriptedTimer timer{0, 1500000, 0, 600000};
        EXPECT_FLOAT_EQ(float_test(1, FloatPath::sse, {}), static_cast<float>(5 * 600.0 / 900000));
    }
}

TEST(FloatTest, StopBeforeOrDuringTheWorkLoopGivesZero) {
    {
        ProgressRecorder rec;
        rec.stop = 1;
        ScriptedTimer timer{0, 1000, 0, 100};
        EXPECT_EQ(float_test(2, FloatPath::plain, rec.hooks()), 0.0f);
        EXPECT_TRUE(rec.fractions.empty());
    }
    {
        ProgressRecorder rec;
        rec.stop_after = 3;
        ScriptedTimer timer{0, 1000, 0, 100};
        EXPECT_EQ(float_test(2, FloatPath::sse, rec.hooks()), 0.0f);
        EXPECT_EQ(rec.fractions.size(), 3u);
    }
}

TEST(FloatTest, StopDuringTheEmptyLoopCountsItsFinishedPasses) {
    ProgressRecorder rec;
    rec.stop_after = 10 + 2; // all 10 work passes, then 2 empty passes
    ScriptedTimer timer{0, 1000, 0, 100};
    EXPECT_FLOAT_EQ(float_test(2, FloatPath::sse, rec.hooks()),
                    static_cast<float>(2 * 600.0 / 900));
    EXPECT_EQ(rec.fractions.size(), 12u);
}

TEST(FloatTest, LogsNetTimeAndSpeed) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    {
        ScriptedTimer timer{0, 1234, 0, 34};
        float_test(1, FloatPath::sse, {});
    }
    log_close();
    char want[64];
    std::snprintf(want, sizeof want, "\nFloat Test: dtgt=1200 , speed=%6.2f M", 5 * 600.0 / 1200);
    EXPECT_EQ(read_all(f), want);
    std::fclose(f);
}

TEST(FloatCpu, ReportsSseOnEveryX8664Processor) {
    EXPECT_TRUE(cpu_has_sse());
}

#ifndef _WIN32
// Proves the 3DNow! kernels really are 3DNow! code: without it the processor refuses them.
TEST(FloatCpuDeathTest, ThreeDNowKernelsFaultWithoutThreeDNow) {
    if (cpu_has_3dnow())
        GTEST_SKIP() << "this processor has 3DNow!";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(amd_sin(1.0f), testing::KilledBySignal(SIGILL), "");
}
#endif
