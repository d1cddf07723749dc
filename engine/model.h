#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
// The benchmark's shared vocabulary: the five tests, the options, the machine list with the base
// system, the work amounts kept between runs, and how speeds fold into scores and texts.

enum TestKind : int {
    kIntegerTest = 0,
    kFloatTest = 1,
    kMemoryTest = 2,
    kDirectDrawTest = 3,
    kDiskTest = 4,
};
constexpr int kTestCount = 5;

struct TestOptions {
    int32_t mem_block = 0;
    int32_t disk_cached = 0;
    int32_t ddraw_mode = 0;
    int32_t average_method = 0;
    int32_t amd_3dnow = 0;
    int32_t intel_sse = 0;
    int32_t test_3times = 0;
};

constexpr uint32_t kFlagMemBlock = 0x1;
constexpr uint32_t kFlagDiskCached = 0x10;
constexpr uint32_t kFlag3DNow = 0x100;
constexpr uint32_t kFlagSse = 0x1000;

// The bits of the four options recorded with a result; 0 means standard settings.
uint32_t option_flags(const TestOptions& options);

// 3DNow! and SSE never run together: SSE is kept. Returns true when both were chosen (the caller
// then tells the user and unchecks the 3DNow! box).
bool keep_sse_over_3dnow(TestOptions& options);

constexpr int kMachineNameSize = 128;
constexpr int kInfoTextSize = 1024;

struct MachineRecord {
    char name[kMachineNameSize];
    float speeds[kTestCount];
    uint32_t option_flags;
    int16_t ddraw_width;
    int16_t ddraw_height;
    int16_t ddraw_bits;
    char info_text[kInfoTextSize];
};

constexpr int kMachineSlots = 100;

struct MachineList {
    MachineRecord entries[kMachineSlots];
    int stored_count;   // stored machines, base system included; the current system follows them
    int current_stored; // the current results have been stored under a name
};

extern MachineList machine_list;

extern const char kBaseSystemName[];
extern const char kCurrentSystemName[];

MachineRecord base_system_record();
// Entry 0 becomes the built-in base system and it is the only stored machine.
void install_base_system(MachineList& list);
MachineRecord& current_system_entry();

// The outcome of a run beyond the current-system entry.
extern float mark;
extern int results_ready;

constexpr int kWorkAmountSlots = 10;
constexpr int kInitialWorkAmount = 20;
extern int32_t m_times[kWorkAmountSlots];
extern int pre_test_flag;
extern int pre_tested;
extern int times_tripled;

// Weights of the weighted score, one row per average_method, in TestKind order.
extern const float kWeights[3][kTestCount];

// A base speed that can divide: positive and finite. Anything else gives a relative speed of 0,
// leaves the test out of the scores and is shown as a dash.
bool valid_divisor(float base_speed);
// speed ÷ base speed in extended precision; 0 without a valid divisor or for a speed that is not
// a number.
double relative_speed(float speed, float base_speed);
// Against entry 0 of the machine list.
double relative_speed(const MachineRecord& entry, int k);
float overall_score(const MachineRecord& entry);
float weighted_score(const MachineRecord& entry, int method);

// Texts of the test page, formatted into the caller's buffer.
void format_absolute_speed(int k, float speed, char* buffer, size_t size);
void format_relative_speed(int k, float speed, float base_speed, char* buffer, size_t size);
void format_mark(float value, char* buffer, size_t size);

// Work amounts.
constexpr int kMaxWorkAmount = 999;
constexpr int kCalibratedMinimum = 3;
constexpr int kPreTestedMinimum = 2;
// r × 20 + 1 truncated, r being a relative speed; an unusable ratio (not finite) counts as 0,
// huge ones saturate.
int amount_from_ratio(double ratio);

// The quick integer calibration: passes of the integer kernel in, speed q out.
using QuickCalibration = std::function<float(int passes)>;
// Sets m_times at the start of a run from pre_test_flag, pre_tested, times_tripled and the
// test_3times option.
void set_work_amounts(const TestOptions& options, const QuickCalibration& quick_calibration);
// After the pre-test: every amount from that test's speed against the base system's.
void set_amounts_after_pre_test(const MachineRecord& current);
