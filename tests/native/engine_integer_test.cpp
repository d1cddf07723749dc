#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/integer_kernel.h"
#include "engine/measure_integer.h"
#include "shell/log.h"
#include "tests/native/engine_test_support.h"

namespace {
constexpr int32_t kIterations = 1000000;

int32_t wrapped(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

struct IntegerRun {
    float speed = 0;
    std::vector<double> fractions;
    std::vector<IntegerKernelState> after_pass; // the kernel state at each progress call
};

// Runs the integer test with scripted times; stop_after stops it once that many passes reported.
IntegerRun run_integer(int m, std::vector<uint32_t> times, int stop_after = -1) {
    ScriptedTimer timer(std::move(times));
    IntegerRun run;
    volatile int stop = 0;
    TestHooks hooks;
    hooks.stop = &stop;
    hooks.progress = [&](double fraction) {
        run.fractions.push_back(fraction);
        run.after_pass.push_back(integer_kernel_state());
        if (static_cast<int>(run.fractions.size()) == stop_after)
            stop = 1;
    };
    run.speed = integer_test(m, hooks);
    // The start of each loop and the end of every pass.
    EXPECT_EQ(ScriptedTimer::reads(), 2 + run.fractions.size());
    return run;
}
} // namespace

TEST(IntegerTest, AmountOneRunsFourMillionIterationsOfTheSequence) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    IntegerRun run = run_integer(1, joined({loop_reads(1000, 4, 2000), loop_reads(5000, 4, 400)}));
    log_close();
    EXPECT_EQ(read_all(f), "\nInteger Test: dtgt=1600 , speed= 10.00 M"); // 16000 ÷ (2000 − 400)
    std::fclose(f);
    EXPECT_EQ(run.fractions, (std::vector<double>{0.25, 0.5, 0.75, 1.0, 0.25, 0.5, 0.75, 1.0}));

    // beta moves only in the work loop; alpha, gamma, delta and prod2 in both loops.
    IntegerKernelState s = integer_kernel_state();
    const int64_t work = 4 * kIterations;
    const int64_t last_alpha = 989 + work - 1, last_beta = 12314 + work - 1,
                  last_gamma = 9 + work - 1;
    EXPECT_EQ(s.beta, 12314 + work);
    EXPECT_EQ(s.alpha, 989 + 2 * work);
    EXPECT_EQ(s.gamma, 9 + 2 * work);
    EXPECT_EQ(s.delta, 3333333 + 2 * work);
    EXPECT_EQ(s.prod1, wrapped(last_alpha * last_beta));
    EXPECT_EQ(s.prod2, wrapped(wrapped(last_beta * last_gamma) + work));
    EXPECT_EQ(s.quot1, last_beta / last_alpha);
    EXPECT_EQ(s.quot2, wrapped(last_alpha * last_beta) / last_gamma);

    // At amount 2 each of the 8 passes of either loop is a million steps of delta.
    run = run_integer(2, joined({loop_reads(0, 8, 4000), loop_reads(0, 8, 800)}));
    ASSERT_EQ(run.after_pass.size(), 16u);
    for (int j = 1; j <= 8; ++j) {
        EXPECT_EQ(run.after_pass[j - 1].beta, 12314 + j * kIterations) << j;
        EXPECT_EQ(run.after_pass[j + 7].beta, 12314 + 8 * kIterations) << j;
        EXPECT_EQ(run.after_pass[j + 7].delta, 3333333 + (8 + j) * kIterations) << j;
    }
    EXPECT_FLOAT_EQ(run.speed, 10.0f);
    EXPECT_DOUBLE_EQ(run.fractions[0], 0.125);
}

TEST(IntegerTest, TimesBecomeSpeedsAndStopsGiveZero) {
    // Work time 3 counts as 10; 20 − 5 is not clamped; an empty loop slower than the work wraps
    // the unsigned difference; equal times must not give an infinite speed.
    struct Case {
        uint32_t work, empty;
        float speed;
    } cases[] = {{3, 0, 1600.0f},
                 {2000000, 0, 0.016f},
                 {20, 5, 16000.0f / 15},
                 {100, 150, static_cast<float>(16000.0L / 4294967246.0L)},
                 {500, 500, 16000.0f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(run_integer(1, joined({loop_reads(0, 4, c.work), loop_reads(0, 4, c.empty)})).speed, c.speed) << c.work;

    IntegerRun stopped = run_integer(1, loop_reads(0, 2, 700), 2);
    EXPECT_EQ(stopped.speed, 0.0f);
    EXPECT_EQ(stopped.fractions.size(), 2u);
    EXPECT_EQ(integer_kernel_state().beta, 12314 + 2 * kIterations);
    // Stopped in the empty loop: the speed comes from the empty passes completed.
    EXPECT_FLOAT_EQ(run_integer(1, joined({loop_reads(0, 4, 1000), loop_reads(0, 2, 200)}), 6).speed, 2 * 4000.0f / 800);
    EXPECT_EQ(run_integer(0, {0, 0}).speed, 0.0f);
}

TEST(IntegerTest, QuickCalibration) {
    {
        ScriptedTimer timer({100, 500});
        EXPECT_FLOAT_EQ(quick_integer_speed(20), 100.0f);
        EXPECT_EQ(ScriptedTimer::reads(), 2u);
    }
    // From the start values: 20 passes of 500 000 iterations.
    EXPECT_EQ(integer_kernel_state().beta, 12314 + 20 * 500000);
    EXPECT_EQ(integer_kernel_state().alpha, 989 + 20 * 500000);
    // At least 50 ms; the speed within 1..999.
    const uint32_t cases[][3] = {{10, 1, 40}, {50, 30, 999}, {100000, 1, 1}, {0, 0, 1}};
    for (const auto& c : cases) {
        ScriptedTimer timer({0, c[0]});
        EXPECT_FLOAT_EQ(quick_integer_speed(static_cast<int>(c[1])), static_cast<float>(c[2]));
    }
}

TEST(IntegerKernel, DivisorsNeverMeetZeroOrMinusOne) {
    struct Case {
        int32_t d;
        int count;
        bool meets;
    } cases[] = {{0, 1, true},          {-1, 1, true},
                 {-2, 1, false},        {-2, 2, true},
                 {INT_MAX, kIterations, false}, {INT_MIN, kIterations, false},
                 {-kIterations, kIterations, true}, {-kIterations - 1, kIterations, false},
                 {0, 0, false}};
    for (const Case& c : cases)
        EXPECT_EQ(divisor_meets_trap(c.d, c.count), c.meets) << c.d << " " << c.count;

    // alpha reaches -1 within the pass; beta at INT_MIN would overflow beta ÷ -1: restart.
    set_integer_kernel_state({-10, INT_MIN, 77, 5, 0, 0, 0, 0});
    EXPECT_TRUE(integer_work_pass(1000));
    IntegerKernelState s = integer_kernel_state();
    EXPECT_EQ(s.alpha, 989 + 1000);
    EXPECT_EQ(s.beta, 12314 + 1000);
    EXPECT_EQ(s.gamma, 9 + 1000);
    EXPECT_EQ(s.delta, 3333333 + 1000);
    EXPECT_EQ(s.quot1, (12314 + 999) / (989 + 999));
    // gamma alone near zero restarts as well.
    set_integer_kernel_state({5000, 1, -500, 0, 0, 0, 0, 0});
    EXPECT_TRUE(integer_work_pass(1000));
    EXPECT_EQ(integer_kernel_state().gamma, 9 + 1000);
    // Amount 1074 first needs a restart, at pass 4294 from the start values.
    const int64_t done = int64_t{4294} * kIterations;
    set_integer_kernel_state(
        {wrapped(989 + done), wrapped(12314 + done), wrapped(9 + done), 0, 0, 0, 0, 0});
    EXPECT_TRUE(integer_work_pass(kIterations));
    EXPECT_EQ(integer_kernel_state().alpha, 989 + kIterations);
    // Crossing from INT_MAX to INT_MIN wraps and goes on without a restart.
    set_integer_kernel_state({INT_MAX - 5, INT_MAX - 2, INT_MAX - 7, INT_MAX, 0, 0, 0, 0});
    EXPECT_FALSE(integer_work_pass(1000));
    s = integer_kernel_state();
    EXPECT_EQ(s.alpha, wrapped(int64_t{INT_MAX} - 5 + 1000));
    EXPECT_EQ(s.delta, wrapped(int64_t{INT_MAX} + 1000));
    EXPECT_EQ(s.prod1, wrapped((int64_t{INT_MAX} - 5 + 999) * (int64_t{INT_MAX} - 2 + 999)));
}
