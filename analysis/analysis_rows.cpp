#include "analysis/analysis_rows.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "sysinfo/machine_text.h"

namespace {

struct RatingBand {
    float lower;
    float upper;
    const char* word;
};
const RatingBand kBands[kRatingClasses] = {
    {-0.000001f, 0.25f, "很差"}, {0.25f, 0.5f, "较差"},       {0.5f, 1.0f, "中下"},
    {1.0f, 1.5f, "中等"},        {1.5f, 2.5f, "中上"},        {2.5f, 4.0f, "较好"},
    {4.0f, 6.0f, "很好"},        {6.0f, 999999.0f, "非常好"},
};

const char kObsolete[] = "淘汰机型，可用于学生学习和老年人棋牌类小游戏，建议安装Windows95";
const char kOutdated[] = "过时机型，可用于上网、打字等对机器要求不高的应用，可安装Windows98";
const char kLowEnd[] = "低档机型，可用作一般办公用途及二维（平面）游戏，建议使用Windows98";
const char kMidRange[] = "中档机型，可满足大多数办公、游戏和商业应用需要";
const char kHighGames[] = "高档游戏机型，能够流畅运行三维游戏，最好使用Windows98";
const char kHighBusiness[] = "高档商用机型，可以用作服务器，最好使用Windows2000或XP";
const char kEnthusiast[] = "发烧机型，可用于你所喜欢的一切用途";

const char* const kUses[3] = {"性能比较均衡", "更适合办公或者商业用途", "更适合玩游戏等家庭用途"};
const char* const kComponents[kTestCount] = {"CPU(处理器)", "CPU(处理器)", "内存", "显卡", "硬盘"};

void copy_cell(char* cell, const char* text) {
    size_t n = std::strlen(text);
    if (n > kAnalysisCellSize - 1)
        n = kAnalysisCellSize - 1;
    std::memcpy(cell, text, n);
    cell[n] = '\0';
}

void put(AnalysisRows& rows, int row, const char* label, const char* text) {
    if (label != nullptr)
        copy_cell(rows.label[row], label);
    if (text != nullptr)
        copy_cell(rows.text[row], text);
}

struct SpeedRow {
    int row;
    int test;
    const char* label;
    const char* format;
};
// The speeds in the list's order, which puts the disk before DirectDraw.
const SpeedRow kSpeedRows[kTestCount] = {
    {18, kIntegerTest, "整数性能", "%-6.2f M次/秒 相对速度%-5.2f"},
    {19, kFloatTest, "浮点性能", "%-6.2f M次/秒 相对速度%-5.2f"},
    {20, kMemoryTest, "内存性能", "%-7.1f MB/秒  相对速度%-5.2f"},
    {21, kDiskTest, "磁盘性能", "%-6.2f MB/秒  相对速度%-5.2f"},
    {22, kDirectDrawTest, "DirectDraw", "%-7.1f MB/秒  相对速度%-5.2f"},
};

} // namespace

int rating_class(float mark) {
    if (std::isnan(mark))
        return -1;
    if (mark < kBands[0].lower)
        return 0;
    for (int c = 0; c < kRatingClasses; ++c)
        if (kBands[c].lower <= mark && mark < kBands[c].upper)
            return c;
    return kRatingClasses - 1;
}

const char* rating_word(int rating) {
    return rating >= 0 && rating < kRatingClasses ? kBands[rating].word : "";
}

const char* machine_class_text(int rating, float game_index, float mark) {
    switch (rating) {
    case 0:
        return kObsolete;
    case 1:
        return kOutdated;
    case 2:
        return kLowEnd;
    case 3:
    case 4:
    case 5:
        return kMidRange;
    case 6:
        return game_index > mark ? kHighGames : kHighBusiness;
    case 7:
        return kEnthusiast;
    default:
        return "";
    }
}

int suggested_use(float office_index, float game_index, float mark) {
    if (office_index > mark && office_index > game_index)
        return 1;
    if (game_index > mark && game_index > office_index)
        return 2;
    return 0;
}

const char* suggested_use_text(int use) {
    return use >= 0 && use < 3 ? kUses[use] : "";
}

int limiting_test(const double relative[kTestCount]) {
    int lowest = 0;
    for (int k = 1; k < kTestCount; ++k)
        if (relative[k] < relative[lowest])
            lowest = k;
    return lowest;
}

const char* limiting_component(int test) {
    return test >= 0 && test < kTestCount ? kComponents[test] : "";
}

WindowsFamily windows_family(uint32_t major, uint32_t minor) {
    if (major < 4)
        return WindowsFamily::kOlder;
    if (major == 4)
        return minor < 10   ? WindowsFamily::k95
               : minor < 20 ? WindowsFamily::k98
                            : WindowsFamily::kMe;
    return minor == 0 ? WindowsFamily::k2000 : WindowsFamily::kXp;
}

void memory_advice(WindowsFamily family, uint32_t megabytes, char* buffer, size_t size) {
    const int m = static_cast<int>(megabytes);
    using F = WindowsFamily;
    if (family == F::k95 && megabytes < 32)
        std::snprintf(buffer, size, "%dMB内存对于Win95太少，建议升级到32MB以上。", m);
    else if (family == F::k98 && megabytes < 64)
        std::snprintf(buffer, size, "%dMB内存对于Win98太少，建议升级到64MB以上。", m);
    else if (family == F::kMe && megabytes < 64)
        std::snprintf(buffer, size, "%dMB内存对于WinMe太少，建议升级到64MB以上。", m);
    else if (family == F::k98 && megabytes == 64)
        std::snprintf(buffer, size, "%s", "64MB内存对于Win98并不宽裕，建议升级到128MB");
    else if (family == F::kMe && megabytes == 64)
        std::snprintf(buffer, size, "%dMB内存对于WinMe并不宽裕，建议升级到128MB", m);
    else if (family == F::k2000 && megabytes < 128)
        std::snprintf(buffer, size, "%dMB内存对于Win2000太少，建议升级到128MB以上。", m);
    else if (family == F::kXp && megabytes < 128)
        std::snprintf(buffer, size, "%dMB内存对于WinXP太少，建议升级到128MB以上。", m);
    else
        std::snprintf(buffer, size, "%s", "现在可以不用增加内存。");
}

void settings_text(uint32_t flags, char* buffer, size_t size) {
    if (size == 0)
        return;
    if (flags == 0) {
        std::snprintf(buffer, size, "%s", "标准设置");
        return;
    }
    option_words(flags, buffer, size);
    const size_t n = std::strlen(buffer);
    if (n + 1 < size) {
        buffer[n] = '\n';
        buffer[n + 1] = '\0';
    }
}

void split_analysis_lines(const char* text, InfoRows& lines) {
    std::memset(lines, 0, sizeof lines);
    int line = 0;
    size_t length = 0;
    for (const char* p = text; *p != '\0' && line < kInfoRows; ++p) {
        if (*p == '\n') {
            ++line;
            length = 0;
            continue;
        }
        lines[line][length++] = *p;
        if (length == kInfoRowSize - 1) {
            // A line that fills its buffer ends the splitting, and is not shown either.
            std::memset(lines[line], 0, sizeof lines[line]);
            return;
        }
    }
    // The last line without its line feed stays hidden.
    if (line < kInfoRows)
        std::memset(lines[line], 0, sizeof lines[line]);
}

void fill_analysis_rows(const AnalysisInputs& in, AnalysisRows& rows) {
    std::memset(&rows, 0, sizeof rows);
    const MachineRecord& current = *in.current;
    for (int row = 0; row < kAnalysisRows; ++row)
        put(rows, row, kInfoLabels[row], nullptr);
    split_analysis_lines(current.info_text, rows.text);

    settings_text(current.option_flags, rows.text[kSettingsRow], kAnalysisCellSize);
    put(rows, kSettingsRow, "测试设置", nullptr);
    put(rows, 16, nullptr, "测试成绩");
    const bool standard = current.option_flags == 0;
    char cell[kAnalysisCellSize];
    std::snprintf(cell, sizeof cell, "%4.2f", static_cast<double>(in.mark));
    put(rows, 17, standard ? "Tavoli基准得分" : "总体性能得分", cell);

    double relative[kTestCount];
    for (int k = 0; k < kTestCount; ++k)
        relative[k] = relative_speed(current, k);
    for (const SpeedRow& s : kSpeedRows) {
        std::snprintf(cell, sizeof cell, s.format, static_cast<double>(current.speeds[s.test]),
                      relative[s.test]);
        put(rows, s.row, s.label, cell);
    }
    put(rows, 24, nullptr, "性能分析与升级建议：(与2000年主流台式机相比较)");
    if (!standard) {
        put(rows, 25, nullptr, "必须使用标准测试才能够进行性能分析！");
        return;
    }

    // Each index is rounded to single precision before any comparison, also where the
    // arithmetic runs in wider x87 registers.
    volatile float office = weighted_score(current, 1);
    volatile float game = weighted_score(current, 2);
    volatile float score = in.mark;
    const int rating = rating_class(score);
    put(rows, 26, "总体性能", rating_word(rating));
    put(rows, 27, "总体评价", machine_class_text(rating, game, score));
    put(rows, 28, "建议用途", suggested_use_text(suggested_use(office, game, score)));
    put(rows, 29, "性能瓶颈", limiting_component(limiting_test(relative)));
    memory_advice(windows_family(in.os_major, in.os_minor), rounded_memory_mb(in.physical_bytes),
                  cell, sizeof cell);
    put(rows, 30, "内存容量", cell);
}
