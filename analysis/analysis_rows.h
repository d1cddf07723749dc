#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/model.h"
#include "sysinfo/info_rows.h"
// The analysis list without the window: 32 rows of a label and a text, holding the current
// machine's information, the test settings, the score and the five speeds and, for a run with the
// standard settings, the machine rated in words against a mainstream desktop of 2000.

constexpr int kAnalysisRows = kInfoRows;
constexpr int kAnalysisCellSize = kInfoRowSize;
// The settings text's row; the clock reading goes into kClockRow.
constexpr int kSettingsRow = 15;

struct AnalysisRows {
    char label[kAnalysisRows][kAnalysisCellSize];
    // Column 1. Rows 0-15 are the dialog's line buffers: 0-14 the information text's lines (3 the
    // clock), 15 the settings text, which also goes into the upload.
    InfoRows text;
};

// The rating bands of the MARK, a band from its lower bound up to but not including its upper
// one. A MARK below the first band rates as class 0, one from the last bound up as class 7; one
// that is not a number has no class (-1).
constexpr int kRatingClasses = 8;
int rating_class(float mark);
const char* rating_word(int rating);
// Class 6 is a games machine when the game index is greater than the MARK, otherwise a business
// machine.
const char* machine_class_text(int rating, float game_index, float mark);

// 0 "性能比较均衡", 1 office, 2 games: an index must be strictly above the MARK and the other
// index to win, so every tie falls to the balanced verdict.
int suggested_use(float office_index, float game_index, float mark);
const char* suggested_use_text(int use);

// The test with the lowest relative speed, the earlier one on a tie, and its component's name.
int limiting_test(const double relative[kTestCount]);
const char* limiting_component(int test);

enum class WindowsFamily { kOlder, k95, k98, kMe, k2000, kXp };
// Windows NT 4.0 reports 4.0 and counts with Windows 95.
WindowsFamily windows_family(uint32_t major, uint32_t minor);
// The advice for `megabytes` (already rounded up to a multiple of 4) under the family.
void memory_advice(WindowsFamily family, uint32_t megabytes, char* buffer, size_t size);

// "标准设置" for flags 0; otherwise the option words in their order and a line feed.
void settings_text(uint32_t flags, char* buffer, size_t size);

// Splits the information text into the line buffers: a line is shown once its line feed comes;
// the splitting ends at the text's end, after 32 lines, or at a line of 255 bytes, and neither a
// last line without its line feed nor the over-long line is shown.
void split_analysis_lines(const char* text, InfoRows& lines);

struct AnalysisInputs {
    const MachineRecord* current; // against machine_list's entry 0, the base system
    float mark;
    uint32_t os_major, os_minor; // the version read at start-up
    uint64_t physical_bytes;     // total physical memory
};
// All 32 rows as the dialog opens, before the first clock reading.
void fill_analysis_rows(const AnalysisInputs& in, AnalysisRows& rows);
