#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/measure.h"
#include "engine/model.h"
#include "ui/gbk.h"

namespace {
std::string text_of(void (*format)(int, float, char*, size_t), int k, float speed) {
    char buffer[64];
    format(k, speed, buffer, sizeof buffer);
    return buffer;
}

std::string relative_text(int k, float speed, float base) {
    char buffer[64];
    format_relative_speed(k, speed, base, buffer, sizeof buffer);
    return buffer;
}

std::string mark_text(float value) {
    char buffer[16];
    format_mark(value, buffer, sizeof buffer);
    return buffer;
}

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine_list = MachineList{};
        install_base_system(machine_list);
        saved_amounts_.assign(m_times, m_times + kWorkAmountSlots);
        saved_flags_ = {pre_test_flag, pre_tested, times_tripled};
    }
    void TearDown() override {
        std::copy(saved_amounts_.begin(), saved_amounts_.end(), m_times);
        pre_test_flag = saved_flags_[0];
        pre_tested = saved_flags_[1];
        times_tripled = saved_flags_[2];
    }
    static MachineRecord base() { return machine_list.entries[0]; }
    static std::vector<int> amounts() { return std::vector<int>(m_times, m_times + kTestCount); }
    static void set_amounts(int value) {
        for (int& amount : m_times)
            amount = value;
    }

private:
    std::vector<int32_t> saved_amounts_;
    std::vector<int> saved_flags_;
};
} // namespace

TEST_F(ModelTest, BaseSystemRecordAndScores) {
    const MachineRecord& b = machine_list.entries[0];
    EXPECT_EQ(machine_list.stored_count, 1);
    EXPECT_EQ(to_wide(b.name), L"基本系统: 联想奔月4000 PIII650E");
    EXPECT_EQ(to_wide(kCurrentSystemName), L"当前系统");
    const float speeds[kTestCount] = {35.70f, 3.39f, 253.49f, 339.74f, 16.82f};
    EXPECT_TRUE(std::equal(speeds, speeds + kTestCount, b.speeds));
    EXPECT_EQ(b.ddraw_width * 100000 + b.ddraw_height * 100 + b.ddraw_bits, 102476816);
    EXPECT_EQ(&current_system_entry(), &machine_list.entries[1]);

    // The base system scores 1 under every method; twice its integer speed scores by the
    // method's weights, unknown methods as the average.
    MachineRecord fast = base();
    fast.speeds[kIntegerTest] *= 2;
    EXPECT_DOUBLE_EQ(relative_speed(fast, kIntegerTest), 2.0);
    EXPECT_EQ(relative_speed(fast, 5), 0.0);
    EXPECT_EQ(mark_text(overall_score(base())), "1.00");
    EXPECT_EQ(mark_text(overall_score(fast)), "1.20");
    const float fast_scores[] = {1.2f, 1.3f, 1.25f, 1.2f, 1.2f};
    int i = 0;
    for (int method : {0, 1, 2, 5, -1}) {
        EXPECT_NEAR(weighted_score(base(), method), 1.0f, 4e-7f) << method;
        EXPECT_NEAR(weighted_score(fast, method), fast_scores[i++], 1e-6f) << method;
    }
    EXPECT_EQ(weighted_score(base(), 0), overall_score(base()));
}

TEST_F(ModelTest, AverageAddsStepByStepOtherMethodsOnce) {
    // One term near 1 and four terms each below half a float step of 1: added one by one into a
    // float they vanish, summed first and stored once they show.
    auto entry = [](float first, float small, int method) {
        MachineRecord e = base();
        for (int k = 0; k < kTestCount; ++k) {
            float weight = kWeights[method][k];
            float ratio = k == 0 ? first / weight : small / weight;
            e.speeds[k] = e.speeds[k] * ratio;
        }
        return e;
    };
    for (int method : {0, 1, 2}) {
        MachineRecord tiny = entry(1.0f, 5e-8f, method);
        MachineRecord none = entry(1.0f, 0.0f, method);
        if (method == 0) {
            EXPECT_EQ(overall_score(tiny), overall_score(none));
            EXPECT_EQ(weighted_score(tiny, 0), weighted_score(none, 0));
        } else {
            EXPECT_GT(weighted_score(tiny, method), weighted_score(none, method)) << method;
        }
    }
}

TEST_F(ModelTest, OptionFlagsAndSimdRule) {
    TestOptions all{1, 1, 2, 2, 1, 1, 1};
    EXPECT_EQ(option_flags(all), 0x1111u);
    TestOptions untracked{};
    untracked.ddraw_mode = 2;
    untracked.average_method = 1;
    untracked.test_3times = 1;
    EXPECT_EQ(option_flags(untracked), 0u);

    TestOptions both{};
    both.amd_3dnow = 1;
    both.intel_sse = 1;
    EXPECT_TRUE(keep_sse_over_3dnow(both));
    EXPECT_EQ(both.amd_3dnow, 0);
    EXPECT_EQ(both.intel_sse, 1);
    EXPECT_EQ(option_flags(both), 0x1000u);
    EXPECT_FALSE(keep_sse_over_3dnow(both));

    TestOptions amd{};
    amd.amd_3dnow = 1;
    EXPECT_FALSE(keep_sse_over_3dnow(amd));
    EXPECT_EQ(option_flags(amd), 0x100u);
}

TEST_F(ModelTest, DtgtClampAndAmountFromRatio) {
    const uint32_t clamps[][2] = {{3, 10}, {0, 10}, {10, 10}, {2000000, 1000000},
                                  {1000000, 1000000}, {0xFFFFFFF0u, 1000000}};
    for (const auto& c : clamps)
        EXPECT_EQ(clamp_dtgt(c[0]), c[1]) << c[0];
    const std::pair<double, int> ratios[] = {
        {0.0, 1},           {2.0, 41},           {0.049, 1},
        {-1.0, -19},        {1e30, 1000000},     {-1e30, -1000000},
        {INFINITY, 1},      {std::nan(""), 1}};
    for (const auto& [ratio, amount] : ratios)
        EXPECT_EQ(amount_from_ratio(ratio), amount) << ratio;
}

TEST_F(ModelTest, QuickCalibrationAmounts) {
    pre_test_flag = 0;
    pre_tested = 0;
    set_amounts(20);
    TestOptions options{};
    std::vector<int> asked;
    auto calibration = [&asked](float q) {
        return [&asked, q](int passes) {
            asked.push_back(passes);
            return q;
        };
    };

    // Every such run recalibrates, with the integer amount as its pass count; only the five
    // used entries change. 35.70f lies slightly above 35.7, so ten times it is 200, not 201.
    struct Step {
        int triple;
        float q;
        int slot, amount;
    } steps[] = {{0, 100.0f, 4, 57}, {1, 100.0f, 4, 171}, {0, 1.0f, 2, 3},
                 {1, 1.0f, 2, 9},    {0, 10 * 35.70f, 0, 200}, {1, 999.0f, 1, 999}};
    for (const Step& step : steps) {
        options.test_3times = step.triple;
        set_work_amounts(options, calibration(step.q));
        EXPECT_EQ(m_times[step.slot], step.amount) << step.q;
        EXPECT_EQ(m_times[5], 20);
        EXPECT_EQ(times_tripled, 0);
    }
    EXPECT_EQ(std::vector<int>(asked.begin(), asked.begin() + 2), (std::vector<int>{20, 57}));
}

TEST_F(ModelTest, PreTestAndTripling) {
    pre_test_flag = 1;
    pre_tested = 0;
    set_amounts(20);
    TestOptions options{};
    options.test_3times = 1;
    bool called = false;
    set_work_amounts(options, [&called](int) {
        called = true;
        return 100.0f;
    });
    EXPECT_FALSE(called);
    EXPECT_EQ(amounts(), (std::vector<int>{1, 1, 1, 1, 1}));

    MachineRecord measured = base();
    measured.speeds[0] *= 2;
    measured.speeds[1] *= 0.05f;
    measured.speeds[2] *= 100;
    measured.speeds[3] = 0;
    set_amounts_after_pre_test(measured);
    EXPECT_EQ(amounts(), (std::vector<int>{41, 2, 999, 2, 21}));

    pre_test_flag = 0;
    pre_tested = 1;
    times_tripled = 0;
    auto unused = [](int) { return 0.0f; };
    set_work_amounts(options, unused);
    EXPECT_EQ(m_times[0], 123);
    EXPECT_EQ(m_times[2], 2997); // no upper limit when tripling
    EXPECT_EQ(times_tripled, 1);
    set_work_amounts(options, unused);
    EXPECT_EQ(m_times[0], 123);
    options.test_3times = 0;
    set_work_amounts(options, unused);
    EXPECT_EQ(m_times[0], 41);
    EXPECT_EQ(m_times[2], 999);
    EXPECT_EQ(times_tripled, 0);
    set_work_amounts(options, unused);
    EXPECT_EQ(m_times[0], 41);
}

TEST_F(ModelTest, DisplayFormats) {
    EXPECT_EQ(text_of(format_absolute_speed, kIntegerTest, 35.70f), " 35.70 M次/s");
    EXPECT_EQ(text_of(format_absolute_speed, kFloatTest, 3.39f), "  3.39 M次/s");
    EXPECT_EQ(text_of(format_absolute_speed, kMemoryTest, 253.49f), "  253.5 MB/s");
    EXPECT_EQ(text_of(format_absolute_speed, kDirectDrawTest, 1339.74f), " 1339.7 MB/s");
    EXPECT_EQ(text_of(format_absolute_speed, kDiskTest, 16.82f), " 16.82 MB/s");
    EXPECT_EQ(relative_text(kIntegerTest, 71.4f, 35.70f), "  2.00");
    EXPECT_EQ(relative_text(kMemoryTest, 253.49f, 253.49f), "   1.00");
    EXPECT_EQ(relative_text(kDirectDrawTest, 33.974f, 339.74f), "   0.10");
    EXPECT_EQ(relative_text(kDiskTest, 168.2f, 16.82f), " 10.00");
    EXPECT_EQ(mark_text(12.345f), "12.35");

    // Texts are cut to the caller's buffer, never overrun.
    char small[6];
    std::memset(small, 'x', sizeof small);
    format_absolute_speed(kIntegerTest, 35.70f, small, sizeof small);
    EXPECT_STREQ(small, " 35.7");
    format_absolute_speed(7, 1.0f, small, sizeof small);
    EXPECT_STREQ(small, "");
}

TEST_F(ModelTest, ZeroBaseSpeedShowsADashAndLeavesTheTestOut) {
    MachineRecord current = base();
    machine_list.entries[0].speeds[kMemoryTest] = 0.0f;
    machine_list.entries[0].speeds[kDiskTest] = std::numeric_limits<float>::infinity();

    EXPECT_EQ(relative_speed(current, kMemoryTest), 0.0);
    EXPECT_EQ(relative_speed(current, kDiskTest), 0.0);
    EXPECT_EQ(relative_text(kMemoryTest, 253.49f, 0.0f), "      -");
    EXPECT_EQ(relative_text(kDiskTest, 16.82f, std::nanf("")), "     -");
    EXPECT_EQ(relative_text(kIntegerTest, 35.7f, -35.7f), "     -");

    // The remaining three tests score as before; no inf or nan reaches a score.
    EXPECT_NEAR(overall_score(current), 0.6f, 1e-6f);
    EXPECT_NEAR(weighted_score(current, 1), 0.3f + 0.05f + 0.05f, 1e-6f);
    EXPECT_NEAR(weighted_score(current, 2), 0.25f + 0.25f + 0.3f, 1e-6f);
    EXPECT_EQ(mark_text(overall_score(current)), "0.60");

    // A speed that is not a number is shown as a dash too, and counts for nothing.
    current.speeds[kIntegerTest] = std::nanf("");
    EXPECT_EQ(text_of(format_absolute_speed, kIntegerTest, current.speeds[0]), "     - M次/s");
    EXPECT_EQ(relative_text(kIntegerTest, current.speeds[0], 35.70f), "     -");
    EXPECT_TRUE(std::isfinite(overall_score(current)));
    EXPECT_EQ(mark_text(std::numeric_limits<float>::infinity()), "   -");

    // Work amounts stay within their bounds without a divisor.
    set_amounts_after_pre_test(current);
    EXPECT_EQ(m_times[kMemoryTest], 2);
    machine_list.entries[0].speeds[kIntegerTest] = 0.0f;
    pre_test_flag = 0;
    pre_tested = 0;
    set_work_amounts(TestOptions{}, [](int) { return 500.0f; });
    EXPECT_EQ(m_times[0], 3);
}
