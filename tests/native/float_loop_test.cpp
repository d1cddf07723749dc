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

// The SSE kernel set, counted through float arguments, in the kernels' convention.
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

#if defined(__i386__)
// Calls the SSE loop with the stack pointer 4 bytes off the 16-byte alignment at the call, as a
// 32-bit Windows caller may (MOVAPS faults on a misaligned frame).
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
#endif
} // namespace

// The loop shape of the plain and 3DNow! paths, and of the SSE path, whose empty loop makes no
// inner loop and only sets the start values.
TEST(FloatLoops, TenPassesOf600000CallsAtAmountTwo) {
    expect_scalar_loop_at_amount_two<CountingScalar>();

    CountingSse::counts = {};
    ProgressRecorder rec;
    FloatState state;
    ScriptedTimer timer(joined({loop_reads(0, 10, 2000), loop_reads(0, 10, 500)}));
    measure_float(2, {5, 0.2, sse_work_pass<SseCounting<CountingSse>>, sse_empty_pass},
                  rec.hooks(), state);
    expect_loop_calls(CountingSse::counts, 10);
    EXPECT_EQ(rec.fractions.size(), 20u);
    EXPECT_EQ(bits_from_float(state.x), kStartX);
    EXPECT_EQ(bits_from_float(state.y), kStartY);
}

// sse_float_loop runs `count` iterations and steps x and y on the x87 unit (53-bit precision
// in a run), rounding each sum to float32.
TEST(FloatLoops, SseLoopStepsXAndYCountTimes) {
    uint16_t saved_cw = 0;
    const uint16_t run_cw = 0x027F;
    asm volatile("fnstcw %0\n\tfldcw %1" : "=m"(saved_cw) : "m"(run_cw));
    struct Case {
        int count;
        uint32_t x, y, end_x, end_y;
    } cases[] = {{100000, kStartX, kStartY, kPassEndX, kPassEndY},
                 {1, kStartX, kStartY, kStepX, kStepY},
                 {0, 0x40A00000u, 0x40C00000u, 0x40A00000u, 0x40C00000u}};
    for (const Case& c : cases) {
        volatile float x = float_from_bits(c.x), y = float_from_bits(c.y);
        sse_float_loop(c.count, x, y);
        EXPECT_EQ(bits_from_float(x), c.end_x) << c.count;
        EXPECT_EQ(bits_from_float(y), c.end_y) << c.count;
#if defined(__i386__)
        volatile float xm = float_from_bits(c.x), ym = float_from_bits(c.y);
        sse_loop_from_misaligned_stack(c.count, xm, ym);
        EXPECT_EQ(bits_from_float(xm), c.end_x) << c.count;
        EXPECT_EQ(bits_from_float(ym), c.end_y) << c.count;
#endif
    }
    asm volatile("fldcw %0" : : "m"(saved_cw));
}

TEST(FloatTest, PassesPerAmountProgressAndLastResults) {
    expect_float_test_passes(FloatPath::plain, 2, 3, static_cast<double>(0.33333f));
    // The last work pass ran its 100 000 iterations: its results belong to the last arguments.
    const float last_x = pass_arguments().back().first;
    EXPECT_EQ(float_state.result[4], static_cast<float>(std::sin(static_cast<double>(last_x))));
    EXPECT_EQ(bits_from_float(float_state.x), kPassEndX);
    expect_float_test_passes(FloatPath::sse, 2, 5, 0.2);
    EXPECT_TRUE(cpu_has_sse());
}

TEST(FloatTest, NetTimeStopAndLogLine) {
    // Work and empty times: 12 − 5 = 7 ms counts as 10; an empty loop slower than the work loop
    // wraps and counts as 1 000 000 ms; the work time itself is not clamped.
    const uint32_t times[][3] = {{12, 5, 10}, {100, 200, 1000000}, {1500000, 600000, 900000}};
    for (const auto& t : times) {
        ScriptedTimer timer(joined({loop_reads(0, 5, t[0]), loop_reads(0, 5, t[1])}));
        EXPECT_FLOAT_EQ(float_test(1, FloatPath::sse, {}), 3000.0f / t[2]) << t[0];
    }
    // Stopped before or during the work loop: 0. During the empty loop: its finished passes
    // count (all 10 work passes, then 2 empty ones, against 1000 ms of work).
    for (size_t stop_after : {size_t{1}, size_t{3}, size_t{12}}) {
        ProgressRecorder rec;
        rec.stop_after = stop_after;
        ScriptedTimer timer(joined({loop_reads(0, 10, 1000), loop_reads(0, 2, 100)}));
        const float want = stop_after == 12 ? 1200.0f / 900 : 0.0f;
        EXPECT_FLOAT_EQ(float_test(2, stop_after == 1 ? FloatPath::plain : FloatPath::sse,
                                   rec.hooks()),
                        want)
            << stop_after;
        EXPECT_EQ(rec.fractions.size(), stop_after);
    }
    ProgressRecorder stopped;
    stopped.stop = 1;
    ScriptedTimer timer{0, 1000, 0, 100};
    EXPECT_EQ(float_test(2, FloatPath::plain, stopped.hooks()), 0.0f);
    EXPECT_TRUE(stopped.fractions.empty());

    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    {
        ScriptedTimer logged(joined({loop_reads(0, 5, 1234), loop_reads(0, 5, 34)}));
        float_test(1, FloatPath::sse, {});
    }
    log_close();
    EXPECT_EQ(read_all(f), "\nFloat Test: dtgt=1200 , speed=  2.50 M");
    std::fclose(f);
}

#ifndef _WIN32
// The 3DNow! kernels really are 3DNow! code: without it the processor refuses them.
TEST(FloatCpuDeathTest, ThreeDNowKernelsFaultWithoutThreeDNow) {
    if (cpu_has_3dnow())
        GTEST_SKIP() << "this processor has 3DNow!";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(amd_sin(1.0f), testing::KilledBySignal(SIGILL), "");
}
#endif
