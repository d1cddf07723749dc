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
IntegerRun run_integer(int m, std::initializer_list<uint32_t> times, int stop_after = -1) {
    ScriptedTimer timer(times);
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
    EXPECT_EQ(ScriptedTimer::reads(), 4u);
    return run;
}

} // namespace

TEST(IntegerTest, AmountOneRunsFourMillionIterationsOfTheSpecifiedSequence) {
    IntegerRun run = run_integer(1, {1000, 3000, 5000, 5400});
    // 4 × 4000 ÷ (2000 − 400)
    EXPECT_FLOAT_EQ(run.speed, 10.0f);
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
}

TEST(IntegerTest, EveryPassRunsAMillionIterations) {
    // beta steps only in the work body, delta in both bodies: one step per iteration.
    IntegerRun run = run_integer(2, {0, 4000, 0, 800});
    ASSERT_EQ(run.after_pass.size(), 16u);
    for (int j = 1; j <= 8; ++j) {
        const IntegerKernelState& work = run.after_pass[j - 1];
        EXPECT_EQ(work.beta, 12314 + j * 1000000) << "work pass " << j;
        EXPECT_EQ(work.delta, 3333333 + j * 1000000) << "work pass " << j;
        const IntegerKernelState& empty = run.after_pass[j + 7];
        EXPECT_EQ(empty.beta, 12314 + 8000000) << "empty pass " << j;
        EXPECT_EQ(empty.delta, 3333333 + 8000000 + j * 1000000) << "empty pass " << j;
    }
    // The quick calibration's passes are half as long.
    {
        ScriptedTimer timer({0, 100});
        quick_integer_speed(3);
    }
    EXPECT_EQ(integer_kernel_state().delta, 3333333 + 3 * 500000);
}

TEST(IntegerTest, TimesBecomeSpeeds) {
    // Work time 3 counts as 10; the empty loop took nothing.
    EXPECT_FLOAT_EQ(run_integer(1, {0, 3, 100, 100}).speed, 1600.0f);
    EXPECT_FLOAT_EQ(run_integer(1, {0, 2000000, 0, 0}).speed, 0.016f);
    // dtgt itself is not clamped: 20 − 5.
    EXPECT_FLOAT_EQ(run_integer(1, {0, 20, 0, 5}).speed, 16000.0f / 15);
    // An empty loop slower than the work loop wraps the unsigned difference.
    float wrapped_speed = run_integer(1, {0, 100, 0, 150}).speed;
    EXPECT_FLOAT_EQ(wrapped_speed, static_cast<float>(16000.0L / 4294967246.0L));
    // Equal times must not give an infinite speed.
    float equal = run_integer(1, {0, 500, 0, 500}).speed;
    EXPECT_TRUE(std::isfinite(equal));
    EXPECT_FLOAT_EQ(equal, 16000.0f);

    IntegerRun two = run_integer(2, {0, 4000, 0, 800});
    EXPECT_FLOAT_EQ(two.speed, 8 * 4000.0f / 3200);
    ASSERT_EQ(two.fractions.size(), 16u);
    EXPECT_DOUBLE_EQ(two.fractions[0], 0.125);
    EXPECT_DOUBLE_EQ(two.fractions[7], 1.0);
    EXPECT_DOUBLE_EQ(two.fractions[8], 0.125);
}

TEST(IntegerTest, StopDuringTheWorkLoopGivesZero) {
    IntegerRun run = run_integer(1, {0, 700, 700, 700}, 2);
    EXPECT_EQ(run.speed, 0.0f);
    EXPECT_EQ(run.fractions, (std::vector<double>{0.25, 0.5}));
    EXPECT_EQ(integer_kernel_state().beta, 12314 + 2 * kIterations);

    // Stopped in the empty loop: the speed comes from the empty passes completed.
    IntegerRun late = run_integer(1, {0, 1000, 0, 200}, 6);
    EXPECT_FLOAT_EQ(late.speed, 2 * 4000.0f / 800);
    // Nothing is measured without passes.
    EXPECT_EQ(run_integer(0, {0, 50, 0, 0}).speed, 0.0f);
}

TEST(IntegerTest, LogLine) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    run_integer(1, {1000, 3000, 5000, 5400});
    log_close();
    EXPECT_EQ(read_all(f), "\nInteger Test: dtgt=1600 , speed= 10.00 M");
    std::fclose(f);
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
    {
        ScriptedTimer timer({0, 10}); // at least 50 ms
        EXPECT_FLOAT_EQ(quick_integer_speed(1), 40.0f);
    }
    {
        ScriptedTimer timer({0, 50});
        EXPECT_FLOAT_EQ(quick_integer_speed(30), 999.0f);
    }
    {
        ScriptedTimer timer({0, 100000});
        EXPECT_FLOAT_EQ(quick_integer_speed(1), 1.0f);
    }
    {
        ScriptedTimer timer({0, 0});
        EXPECT_FLOAT_EQ(quick_integer_speed(0), 1.0f);
    }
}

TEST(IntegerKernel, DivisorsNeverMeetZeroOrMinusOne) {
    EXPECT_TRUE(divisor_meets_trap(0, 1));
    EXPECT_TRUE(divisor_meets_trap(-1, 1));
    EXPECT_FALSE(divisor_meets_trap(-2, 1));
    EXPECT_TRUE(divisor_meets_trap(-2, 2));
    EXPECT_FALSE(divisor_meets_trap(1, kIterations));
    EXPECT_FALSE(divisor_meets_trap(INT_MAX, kIterations));
    EXPECT_FALSE(divisor_meets_trap(INT_MIN, kIterations));
    EXPECT_TRUE(divisor_meets_trap(-kIterations, kIterations));
    EXPECT_FALSE(divisor_meets_trap(-kIterations - 1, kIterations));
    EXPECT_FALSE(divisor_meets_trap(0, 0));

    // Every pass of amounts up to 1073 keeps its divisors clear, so those runs divide exactly the
    // operands they always did; amount 1074 is the first that needs a restart.
    auto first_restart = [](int64_t passes) {
        for (int64_t p = 0; p < passes; ++p) {
            if (divisor_meets_trap(wrapped(989 + p * kIterations), kIterations) ||
                divisor_meets_trap(wrapped(9 + p * kIterations), kIterations))
                return p;
        }
        return int64_t{-1};
    };
    EXPECT_EQ(first_restart(4 * 1073), -1);
    EXPECT_EQ(first_restart(4 * 1074), 4294);
}

TEST(IntegerKernel, PassNearTheWrapRestartsFromTheStartValues) {
    // alpha reaches -1 within the pass; beta at INT_MIN would overflow beta ÷ -1.
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

    // The state where amount 1074 first needs a restart: pass 4294 from the start values.
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
    EXPECT_EQ(s.beta, wrapped(int64_t{INT_MAX} - 2 + 1000));
    EXPECT_EQ(s.delta, wrapped(int64_t{INT_MAX} + 1000));
    EXPECT_EQ(s.prod1, wrapped((int64_t{INT_MAX} - 5 + 999) * (int64_t{INT_MAX} - 2 + 999)));
}
