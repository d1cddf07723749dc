#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "analysis/analysis_rows.h"
#include "analysis/report_text.h"
#include "sysinfo/machine_text.h"

namespace {
const char kMidRange[] = "中档机型，可满足大多数办公、游戏和商业应用需要";
const char kBusiness[] = "高档商用机型，可以用作服务器，最好使用Windows2000或XP";
const char kGames[] = "高档游戏机型，能够流畅运行三维游戏，最好使用Windows98";
const char kStandardOnly[] = "必须使用标准测试才能够进行性能分析！";

float below(float x) {
    return std::nextafter(x, -std::numeric_limits<float>::infinity());
}

// Twice the base system in every test but the disk, which runs at half its speed.
MachineRecord current_record(uint32_t flags) {
    MachineRecord r{};
    const float speeds[kTestCount] = {71.4f, 6.78f, 506.98f, 679.48f, 8.41f};
    std::memcpy(r.speeds, speeds, sizeof speeds);
    r.option_flags = flags;
    std::string info;
    for (int i = 1; i <= 15; ++i)
        info += "第" + std::to_string(i) + "行\n";
    std::memcpy(r.info_text, info.c_str(), info.size() + 1);
    return r;
}

struct Analysed {
    MachineRecord current;
    AnalysisRows rows;
};
Analysed analyse(uint32_t flags, float score, uint32_t major, uint32_t minor, uint64_t bytes,
                 const float* speeds = nullptr) {
    install_base_system(machine_list);
    Analysed a{current_record(flags), {}};
    if (speeds != nullptr)
        std::memcpy(a.current.speeds, speeds, sizeof a.current.speeds);
    fill_analysis_rows({&a.current, score, major, minor, bytes}, a.rows);
    return a;
}
constexpr uint64_t kMB = 1 << 20;
} // namespace

TEST(Analysis, RatingBandsIncludeTheirLowerBound) {
    struct Band {
        float lower;
        int rating;
    };
    const Band bands[] = {{0.25f, 1}, {0.5f, 2}, {1.0f, 3}, {1.5f, 4},
                          {2.5f, 5},  {4.0f, 6}, {6.0f, 7}};
    for (const Band& b : bands) {
        EXPECT_EQ(rating_class(b.lower), b.rating) << b.lower;
        EXPECT_EQ(rating_class(below(b.lower)), b.rating - 1) << b.lower;
    }
    // Outside the table: below it the lowest class, from its top up the highest, and a MARK
    // that is not a number rates nothing.
    EXPECT_EQ(rating_class(-1.0f), 0);
    EXPECT_EQ(rating_class(999999.0f), 7);
    EXPECT_EQ(rating_class(std::numeric_limits<float>::quiet_NaN()), -1);
    EXPECT_STREQ(rating_word(-1), "");
    // What the analysis shows for each class, byte for byte.
    const char* const shown[][2] = {
        {"很差", "淘汰机型，可用于学生学习和老年人棋牌类小游戏，建议安装Windows95"},
        {"较差", "过时机型，可用于上网、打字等对机器要求不高的应用，可安装Windows98"},
        {"中下", "低档机型，可用作一般办公用途及二维（平面）游戏，建议使用Windows98"},
        {"中等", kMidRange}, {"中上", kMidRange}, {"较好", kMidRange}, {"很好", kBusiness},
        {"非常好", "发烧机型，可用于你所喜欢的一切用途"}};
    for (int c = 0; c < kRatingClasses; ++c) {
        EXPECT_STREQ(rating_word(c), shown[c][0]) << c;
        EXPECT_STREQ(machine_class_text(c, 0.5f, 5.0f), shown[c][1]) << c;
    }
    // Class 6 is a games machine only when the game index is strictly above the MARK.
    EXPECT_STREQ(machine_class_text(6, 5.0f, 5.0f), kBusiness);
    EXPECT_STREQ(machine_class_text(6, std::nextafter(5.0f, 6.0f), 5.0f), kGames);
}

TEST(Analysis, ClassSixIsDecidedByTheGameIndex) {
    // Five times the base system everywhere rates as class 6; the game index decides the class.
    const MachineRecord base = base_system_record();
    float fivefold[kTestCount];
    for (int k = 0; k < kTestCount; ++k)
        fivefold[k] = base.speeds[k] * 5.0f;
    MachineRecord probe{};
    std::memcpy(probe.speeds, fivefold, sizeof fivefold);
    install_base_system(machine_list);
    const float game = weighted_score(probe, 2);
    ASSERT_TRUE(game >= 4.0f && game < 6.0f) << game;
    EXPECT_STREQ(analyse(0, game, 5, 1, 256 * kMB, fivefold).rows.text[27], kBusiness);
    EXPECT_STREQ(analyse(0, below(game), 5, 1, 256 * kMB, fivefold).rows.text[27], kGames);
}

TEST(Analysis, SuggestedUseNeedsAStrictWinner) {
    struct Case {
        float office, game, mark;
        int use;
    };
    const Case cases[] = {
        {2.0f, 2.0f, 1.0f, 0}, {2.0f, 1.5f, 1.0f, 1}, {1.5f, 2.0f, 1.0f, 2},
        {1.0f, 0.5f, 1.0f, 0}, {0.5f, 1.0f, 1.0f, 0}, {3.0f, 1.2f, 3.0f, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(suggested_use(c.office, c.game, c.mark), c.use)
            << c.office << " " << c.game << " " << c.mark;
    const char* const uses[] = {"性能比较均衡", "更适合办公或者商业用途", "更适合玩游戏等家庭用途"};
    for (int use = 0; use < 3; ++use)
        EXPECT_STREQ(suggested_use_text(use), uses[use]);
}

TEST(Analysis, LimitingTestIsTheEarliestLowest) {
    struct Case {
        double relative[kTestCount];
        int test;
        const char* component;
    };
    const Case cases[] = {
        {{1, 1, 2, 2, 2}, 0, "CPU(处理器)"}, {{2, 1, 2, 2, 2}, 1, "CPU(处理器)"},
        {{2, 2, 1, 1, 1}, 2, "内存"},        {{2, 2, 2, 1, 1}, 3, "显卡"},
        {{2, 2, 2, 2, 1}, 4, "硬盘"},        {{2, 0.5, 2, 0.6, 0.5}, 1, "CPU(处理器)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(limiting_test(c.relative), c.test) << c.component;
        EXPECT_STREQ(limiting_component(limiting_test(c.relative)), c.component);
    }
}

TEST(Analysis, MemoryAdviceByWindowsAndRoundedSize) {
    struct Case {
        uint32_t major, minor;
        uint64_t bytes;
        const char* advice;
    };
    const Case cases[] = {
        {4, 10, 66584576, "64MB内存对于Win98并不宽裕，建议升级到128MB"},
        {4, 10, 60 * kMB, "60MB内存对于Win98太少，建议升级到64MB以上。"},
        {4, 19, 68 * kMB, "现在可以不用增加内存。"},
        {4, 0, 28 * kMB, "28MB内存对于Win95太少，建议升级到32MB以上。"},
        {4, 9, 25 * kMB, "28MB内存对于Win95太少，建议升级到32MB以上。"},
        {4, 0, 29 * kMB, "现在可以不用增加内存。"}, // rounds up to 32
        {5, 1, 96 * kMB, "96MB内存对于WinXP太少，建议升级到128MB以上。"},
        {5, 2, 124 * kMB + kMB - 1, "124MB内存对于WinXP太少，建议升级到128MB以上。"},
        {5, 1, 125 * kMB, "现在可以不用增加内存。"},
        {4, 90, 64 * kMB, "64MB内存对于WinMe并不宽裕，建议升级到128MB"},
        {4, 20, 60 * kMB, "60MB内存对于WinMe太少，建议升级到64MB以上。"},
        {5, 0, 100 * kMB, "100MB内存对于Win2000太少，建议升级到128MB以上。"},
        {3, 51, 16 * kMB, "现在可以不用增加内存。"},
    };
    for (const Case& c : cases) {
        Analysed a = analyse(0, 1.7f, c.major, c.minor, c.bytes);
        EXPECT_STREQ(a.rows.text[30], c.advice) << c.major << "." << c.minor << " " << c.bytes;
    }
}

TEST(Analysis, RowsOfAStandardRun) {
    const Analysed a = analyse(0, 1.7f, 5, 0, 100 * kMB);
    for (int i = 0; i < 15; ++i) {
        EXPECT_STREQ(a.rows.label[i], kInfoLabels[i]) << i;
        EXPECT_EQ(std::string(a.rows.text[i]), "第" + std::to_string(i + 1) + "行") << i;
    }
    const char* const expected[][2] = {
        {"测试设置", "标准设置"},
        {"", "测试成绩"},
        {"Tavoli基准得分", "1.70"},
        {"整数性能", "71.40  M次/秒 相对速度2.00 "},
        {"浮点性能", "6.78   M次/秒 相对速度2.00 "},
        {"内存性能", "507.0   MB/秒  相对速度2.00 "},
        {"磁盘性能", "8.41   MB/秒  相对速度0.50 "},
        {"DirectDraw", "679.5   MB/秒  相对速度2.00 "},
        {"", ""},
        {"", "性能分析与升级建议：(与2000年主流台式机相比较)"},
        {"", ""},
        // Office index 1.55, game index 1.85 against a MARK of 1.7.
        {"总体性能", "中上"},
        {"总体评价", kMidRange},
        {"建议用途", "更适合玩游戏等家庭用途"},
        {"性能瓶颈", "硬盘"},
        {"内存容量", "100MB内存对于Win2000太少，建议升级到128MB以上。"},
        {"", ""},
    };
    for (int row = 15; row < kAnalysisRows; ++row) {
        EXPECT_STREQ(a.rows.label[row], expected[row - 15][0]) << row;
        EXPECT_STREQ(a.rows.text[row], expected[row - 15][1]) << row;
    }
}

TEST(Analysis, RowsOfARunWithOptions) {
    const Analysed a = analyse(kFlagDiskCached | kFlag3DNow, 1.7f, 5, 0, 100 * kMB);
    EXPECT_STREQ(a.rows.label[15], "测试设置");
    EXPECT_STREQ(a.rows.text[15], "CACHED 3DNOW \n");
    EXPECT_STREQ(a.rows.label[17], "总体性能得分");
    EXPECT_STREQ(a.rows.text[17], "1.70");
    EXPECT_STREQ(a.rows.text[18], "71.40  M次/秒 相对速度2.00 ");
    EXPECT_STREQ(a.rows.text[25], kStandardOnly);
    for (int row = 26; row <= 30; ++row) {
        EXPECT_STREQ(a.rows.label[row], "") << row;
        EXPECT_STREQ(a.rows.text[row], "") << row;
    }
    char words[64];
    settings_text(0x1111, words, sizeof words);
    EXPECT_STREQ(words, "CACHED BIG_BLOCK SSE 3DNOW \n");
}

TEST(Analysis, SplitShowsOnlyFinishedLines) {
    const std::string long254(254, 'x'), long255(255, 'y');
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += 'L' + std::to_string(i) + '\n';
    std::vector<std::string> first32;
    for (int i = 0; i < 32; ++i)
        first32.push_back('L' + std::to_string(i));
    struct Case {
        std::string text;
        std::vector<std::string> shown; // the remaining lines stay empty
    };
    const Case cases[] = {
        {"", {}},
        {"a\nb", {"a"}},
        {"a\n\n机器\n", {"a", "", "机器"}},
        {"first\n" + long254 + "\nnext\n", {"first", long254, "next"}},
        {"first\n" + long255 + "\nnext\n", {"first"}},
        {"first\n" + long255 + "zz", {"first"}},
        {many, first32},
    };
    for (const Case& c : cases) {
        InfoRows lines;
        std::memset(lines, 'z', sizeof lines);
        split_analysis_lines(c.text.c_str(), lines);
        for (int i = 0; i < kInfoRows; ++i) {
            const std::string want = i < static_cast<int>(c.shown.size()) ? c.shown[i] : "";
            // A row left without its terminator shows up as 256 bytes.
            const std::string got(lines[i], strnlen(lines[i], kInfoRowSize));
            EXPECT_EQ(got, want) << c.text.substr(0, 12) << "... line " << i;
        }
    }
}

TEST(Analysis, ReportHasATitleAndALinePerRow) {
    const ReportCell few[] = {{"A", "b"}, {"", ""}, {"", "测试成绩"}};
    EXPECT_EQ(report_text(few, 3), "\n《Tavoli测试》测试报告：\n\nA:  b\n:  \n:  测试成绩\n");

    struct Case {
        uint32_t flags;
        size_t line_feeds;
        std::string inside, tail;
    };
    const Case cases[] = {
        {0, 35, "\n测试设置:  标准设置\n:  测试成绩\nTavoli基准得分:  1.70\n",
         "\n内存容量:  100MB内存对于Win2000太少，建议升级到128MB以上。\n:  \n"},
        {kFlagDiskCached | kFlag3DNow, 36,
         "\n测试设置:  CACHED 3DNOW \n\n:  测试成绩\n总体性能得分:  1.70\n",
         std::string("\n:  ") + kStandardOnly + "\n:  \n:  \n:  \n:  \n:  \n:  \n"},
    };
    for (const Case& c : cases) {
        const Analysed a = analyse(c.flags, 1.7f, 5, 0, 100 * kMB);
        ReportCell cells[kAnalysisRows];
        for (int i = 0; i < kAnalysisRows; ++i)
            cells[i] = {a.rows.label[i], a.rows.text[i]};
        const std::string report = report_text(cells, kAnalysisRows);
        EXPECT_EQ(report.rfind("\n《Tavoli测试》测试报告：\n\n机器名:  第1行\n处理器:  第2行\n", 0),
                  0u);
        EXPECT_EQ(static_cast<size_t>(std::count(report.begin(), report.end(), '\n')),
                  c.line_feeds);
        EXPECT_NE(report.find(c.inside), std::string::npos) << c.flags;
        ASSERT_GE(report.size(), c.tail.size());
        EXPECT_EQ(report.substr(report.size() - c.tail.size()), c.tail) << c.flags;
    }
}

TEST(Analysis, ReportWriteFailuresAreNoticed) {
    const std::string text = report_text(nullptr, 0);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(write_report_text(file, text));
    // A full disk: the write seems to go into the buffer, the flush fails.
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(write_report_text(full, text));
}
