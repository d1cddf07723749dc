#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/disturbance.h"
#include "engine/measure_integer.h"
#include "shell/log.h"
#include "tests/native/engine_test_support.h"

TEST(Disturbance, APassIsDisturbedWhenItTakesMoreThanThriceTheMedianAndTwentyMsMore) {
    struct Case {
        std::vector<uint32_t> durations;
        uint32_t median;
        std::vector<int> passes;
        uint32_t excess;
    } cases[] = {
        {{}, 0, {}, 0},
        {{10, 10, 10, 31}, 10, {4}, 21},
        {{10, 10, 10, 30}, 10, {}, 0},            // three times, not more
        {{1, 1, 1, 20}, 1, {}, 0},                // far longer, but only 19 ms more
        {{1, 1, 1, 21}, 1, {4}, 20},
        {{0, 0, 16, 0, 0, 15, 0}, 0, {}, 0},      // the ticks of a coarse timer
        {{0, 0, 31, 0}, 0, {3}, 31},
        {{5, 80, 5, 5, 90}, 5, {2, 5}, 160},
        {{5, 40}, 5, {2}, 35},                    // the lower of two is the median
        {{300, 900, 300}, 300, {}, 0},
        {{300, 901, 300}, 300, {2}, 601},
    };
    for (const Case& c : cases) {
        const LoopDisturbance found = find_disturbed_passes(c.durations);
        std::vector<int> passes;
        for (const DisturbedPass& p : found.passes) {
            passes.push_back(p.pass);
            EXPECT_EQ(p.ms, c.durations[p.pass - 1]);
        }
        EXPECT_EQ(found.median_ms, c.median) << ::testing::PrintToString(c.durations);
        EXPECT_EQ(passes, c.passes) << ::testing::PrintToString(c.durations);
        EXPECT_EQ(found.excess_ms, c.excess) << ::testing::PrintToString(c.durations);
    }
}

namespace {
struct Repeats {
    std::string log;
    float speed = 0;
    int restarts = 0;
    size_t fractions = 0;
    MeasureRecord record;
};

// The integer test at amount 1 (four passes a loop) over scripted timer reads; stop_after stops
// it once that many passes reported.
Repeats run_integer(std::vector<uint32_t> reads, size_t stop_after = 0) {
    ScriptedTimer timer(std::move(reads));
    Repeats r;
    volatile int stop = 0;
    TestHooks hooks;
    hooks.stop = &stop;
    hooks.progress = [&](double) {
        if (++r.fractions == stop_after)
            stop = 1;
    };
    hooks.restart = [&] { ++r.restarts; };
    hooks.record = &r.record;
    FILE* f = std::tmpfile();
    log_attach(f);
    r.speed = integer_test(1, hooks);
    log_close();
    r.log = read_all(f);
    std::fclose(f);
    return r;
}
} // namespace

TEST(Disturbance, ADisturbedTestIsMeasuredAgainAndTheLeastDisturbedKeptAfterThree) {
    // Disturbed in pass 2 of the work loop, then quiet: the second measurement is kept.
    Repeats again = run_integer(joined({loop_reads(0, 4, 40, 2, 50), loop_reads(100, 4, 20),
                                        loop_reads(1000, 4, 40), loop_reads(2000, 4, 20)}));
    EXPECT_EQ(again.log, "\nInteger Test: disturbed, measured again: work loop passes 2 (60 ms), "
                         "median 10 ms\nInteger Test: dtgt=20 , speed=800.00 M");
    EXPECT_FLOAT_EQ(again.speed, 800.0f);
    EXPECT_EQ(again.restarts, 1);
    EXPECT_EQ(again.fractions, 16u);
    ASSERT_EQ(again.record.made.size(), 2u);
    EXPECT_EQ(again.record.kept, 1u);
    EXPECT_EQ(again.record.made[0].dtgt, 70u);

    // Disturbed three times, by 90, 30 and 60 ms: the second is kept and the log warns.
    Repeats thrice = run_integer(joined({loop_reads(0, 4, 40, 3, 90), loop_reads(200, 4, 20),
                                         loop_reads(1000, 4, 80), loop_reads(2000, 4, 20, 4, 30),
                                         loop_reads(3000, 4, 40, 1, 60), loop_reads(4000, 4, 20)}));
    EXPECT_EQ(thrice.log,
              "\nInteger Test: disturbed, measured again: work loop passes 3 (100 ms), median 10 ms"
              "\nInteger Test: disturbed, measured again: empty loop passes 4 (35 ms), median 5 ms"
              "\n-----Warning: Integer Test disturbed in all 3 measurements, the least disturbed "
              "is kept: empty loop passes 4 (35 ms), median 5 ms"
              "\nInteger Test: dtgt=30 , speed=533.33 M");
    EXPECT_EQ(thrice.restarts, 2);
    EXPECT_EQ(thrice.fractions, 24u);
    EXPECT_EQ(thrice.record.kept, 1u);

    // A stopped test is not measured again.
    Repeats stopped = run_integer(joined({loop_reads(0, 4, 40, 2, 50), loop_reads(100, 2, 10)}), 6);
    EXPECT_EQ(stopped.restarts, 0);
    EXPECT_EQ(stopped.record.made.size(), 1u);
    EXPECT_FLOAT_EQ(stopped.speed, 2 * 4000.0f / 80);
}
