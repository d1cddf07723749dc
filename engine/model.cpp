#include "engine/model.h"

#include <cmath>
#include <cstdio>
#include <cstring>

static_assert(sizeof(MachineRecord) == 1184, "records are written and read whole");
static_assert(offsetof(MachineRecord, speeds) == 128);
static_assert(offsetof(MachineRecord, option_flags) == 148);
static_assert(offsetof(MachineRecord, ddraw_width) == 152);
static_assert(offsetof(MachineRecord, ddraw_bits) == 156);
static_assert(offsetof(MachineRecord, info_text) == 158);

MachineList machine_list{};

const char kBaseSystemName[] = "基本系统: 联想奔月4000 PIII650E";
const char kCurrentSystemName[] = "当前系统";

float mark = 0.0f;
int results_ready = 0;

int32_t m_times[kWorkAmountSlots] = {20, 20, 20, 20, 20, 20, 20, 20, 20, 20};
// The profile reads the stored setting with this value as its default.
int pre_test_flag = 1;
int pre_tested = 0;
int times_tripled = 0;

const float kWeights[3][kTestCount] = {
    {0.2f, 0.2f, 0.2f, 0.2f, 0.2f},
    {0.3f, 0.05f, 0.3f, 0.05f, 0.3f},
    {0.25f, 0.25f, 0.1f, 0.3f, 0.1f},
};

uint32_t option_flags(const TestOptions& options) {
    uint32_t flags = 0;
    if (options.mem_block)
        flags += kFlagMemBlock;
    if (options.disk_cached)
        flags += kFlagDiskCached;
    if (options.amd_3dnow)
        flags += kFlag3DNow;
    if (options.intel_sse)
        flags += kFlagSse;
    return flags;
}

bool keep_sse_over_3dnow(TestOptions& options) {
    if (!options.amd_3dnow || !options.intel_sse)
        return false;
    options.amd_3dnow = 0;
    return true;
}

MachineRecord base_system_record() {
    MachineRecord record{};
    std::snprintf(record.name, sizeof record.name, "%s", kBaseSystemName);
    const float speeds[kTestCount] = {35.70f, 3.39f, 253.49f, 339.74f, 16.82f};
    std::memcpy(record.speeds, speeds, sizeof speeds);
    record.option_flags = 0;
    record.ddraw_width = 1024;
    record.ddraw_height = 768;
    record.ddraw_bits = 16;
    return record;
}

void install_base_system(MachineList& list) {
    list.entries[0] = base_system_record();
    list.stored_count = 1;
}

MachineRecord& current_system_entry() {
    int index = machine_list.stored_count;
    if (index < 0)
        index = 0;
    if (index > kMachineSlots - 1)
        index = kMachineSlots - 1;
    return machine_list.entries[index];
}

bool valid_divisor(float base_speed) {
    return std::isfinite(base_speed) && base_speed > 0.0f;
}

double relative_speed(float speed, float base_speed) {
    if (!valid_divisor(base_speed))
        return 0.0;
    long double ratio = static_cast<long double>(speed) / static_cast<long double>(base_speed);
    return std::isfinite(ratio) ? static_cast<double>(ratio) : 0.0;
}

double relative_speed(const MachineRecord& entry, int k) {
    if (k < 0 || k >= kTestCount)
        return 0.0;
    return relative_speed(entry.speeds[k], machine_list.entries[0].speeds[k]);
}

namespace {
// One weighted term, weight × speed ÷ base speed in extended precision; a test without a usable
// divisor or speed contributes nothing.
bool weighted_term(float weight, float speed, float base_speed, long double& term) {
    if (!valid_divisor(base_speed) || !std::isfinite(speed))
        return false;
    term = static_cast<long double>(weight) * speed / static_cast<long double>(base_speed);
    return std::isfinite(term);
}

float stepwise_score(const MachineRecord& entry, const float* weights) {
    const MachineRecord& base = machine_list.entries[0];
    float sum = 0.0f;
    for (int k = 0; k < kTestCount; ++k) {
        long double term;
        if (weighted_term(weights[k], entry.speeds[k], base.speeds[k], term))
            sum = static_cast<float>(sum + term);
    }
    return sum;
}
} // namespace

float overall_score(const MachineRecord& entry) {
    return stepwise_score(entry, kWeights[0]);
}

float weighted_score(const MachineRecord& entry, int method) {
    if (method != 1 && method != 2)
        return stepwise_score(entry, kWeights[0]);
    const MachineRecord& base = machine_list.entries[0];
    long double sum = 0.0L;
    for (int k = 0; k < kTestCount; ++k) {
        long double term;
        if (weighted_term(kWeights[method][k], entry.speeds[k], base.speeds[k], term))
            sum += term;
    }
    return static_cast<float>(sum);
}

namespace {
struct SpeedFormat {
    const char* absolute;
    const char* absolute_dash;
    const char* relative;
    const char* relative_dash;
};

// The dash texts keep the width of the number they stand for.
const SpeedFormat kSpeedFormats[kTestCount] = {
    {"%6.2f M次/s", "     - M次/s", "%6.2f", "     -"},
    {"%6.2f M次/s", "     - M次/s", "%6.2f", "     -"},
    {"%7.1f MB/s", "      - MB/s", "%7.2f", "      -"},
    {"%7.1f MB/s", "      - MB/s", "%7.2f", "      -"},
    {"%6.2f MB/s", "     - MB/s", "%6.2f", "     -"},
};

void clear_text(char* buffer, size_t size) {
    if (size > 0)
        buffer[0] = '\0';
}
} // namespace

void format_absolute_speed(int k, float speed, char* buffer, size_t size) {
    if (k < 0 || k >= kTestCount) {
        clear_text(buffer, size);
        return;
    }
    const SpeedFormat& f = kSpeedFormats[k];
    if (std::isfinite(speed))
        std::snprintf(buffer, size, f.absolute, static_cast<double>(speed));
    else
        std::snprintf(buffer, size, "%s", f.absolute_dash);
}

void format_relative_speed(int k, float speed, float base_speed, char* buffer, size_t size) {
    if (k < 0 || k >= kTestCount) {
        clear_text(buffer, size);
        return;
    }
    const SpeedFormat& f = kSpeedFormats[k];
    if (valid_divisor(base_speed) && std::isfinite(speed))
        std::snprintf(buffer, size, f.relative, relative_speed(speed, base_speed));
    else
        std::snprintf(buffer, size, "%s", f.relative_dash);
}

void format_mark(float value, char* buffer, size_t size) {
    if (std::isfinite(value))
        std::snprintf(buffer, size, "%4.2f", static_cast<double>(value));
    else
        std::snprintf(buffer, size, "%s", "   -");
}

int amount_from_ratio(double ratio) {
    constexpr long double kSaturation = 1000000.0L;
    long double amount = static_cast<long double>(std::isfinite(ratio) ? ratio : 0.0) * 20 + 1;
    if (amount >= kSaturation)
        return static_cast<int>(kSaturation);
    if (amount <= -kSaturation)
        return -static_cast<int>(kSaturation);
    return static_cast<int>(amount);
}

namespace {
int clamp_amount(int amount, int lowest) {
    if (amount < lowest)
        return lowest;
    if (amount > kMaxWorkAmount)
        return kMaxWorkAmount;
    return amount;
}
} // namespace

void set_work_amounts(const TestOptions& options, const QuickCalibration& quick_calibration) {
    if (!pre_test_flag && !pre_tested) {
        float q = quick_calibration ? quick_calibration(m_times[kIntegerTest]) : 0.0f;
        int amount = amount_from_ratio(relative_speed(q, machine_list.entries[0].speeds[0]));
        if (amount < kCalibratedMinimum)
            amount = kCalibratedMinimum;
        if (options.test_3times)
            amount *= 3;
        if (amount > kMaxWorkAmount)
            amount = kMaxWorkAmount;
        for (int k = 0; k < kTestCount; ++k)
            m_times[k] = amount;
    } else if (pre_test_flag && !pre_tested) {
        for (int k = 0; k < kTestCount; ++k)
            m_times[k] = 1;
    } else if (options.test_3times && !pre_test_flag && pre_tested && !times_tripled) {
        for (int k = 0; k < kTestCount; ++k)
            m_times[k] *= 3;
        times_tripled = 1;
    } else if (!options.test_3times && !pre_test_flag && pre_tested && times_tripled) {
        for (int k = 0; k < kTestCount; ++k)
            m_times[k] /= 3;
        times_tripled = 0;
    }
}

void set_amounts_after_pre_test(const MachineRecord& current) {
    const MachineRecord& base = machine_list.entries[0];
    for (int k = 0; k < kTestCount; ++k) {
        int amount = amount_from_ratio(relative_speed(current.speeds[k], base.speeds[k]));
        m_times[k] = clamp_amount(amount, kPreTestedMinimum);
    }
}
