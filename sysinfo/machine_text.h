#pragma once
#include "ui/printf_format.h"
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
// The machine-information text, item by item, without the platform: the bounded GBK text it is
// built in, the labels it is shown under, and the formats of its items.

constexpr int kInfoLabelCount = 32;
constexpr int kInfoLabelSize = 16;
// Row i of every information table is shown under label i; the last 16 are empty.
extern const char kInfoLabels[kInfoLabelCount][kInfoLabelSize];

// Appends to a NUL-terminated text of a fixed capacity (1024 bytes: 1023 and the NUL). What does
// not fit is cut at the last whole GBK character, so the text never ends in half a character.
class InfoText {
public:
    InfoText(char* text, size_t capacity) : text_(text), capacity_(capacity) {}
    void clear();
    void append(const char* gbk);
    void appendf(const char* format, ...) KALVIT_PRINTF(2, 3);
    size_t length() const;

private:
    char* text_;
    size_t capacity_;
};

// "MMX ", "SSE ", "SSE2 ", "3DNOW " for the bits present, in that order.
void feature_words(uint32_t features, char* buffer, size_t size);

// Physical memory in MB, rounded up to a multiple of 4.
uint32_t rounded_memory_mb(uint64_t total_bytes);

// The Windows edition by platform id and version.
const char* os_name(uint32_t platform_id, uint32_t major, uint32_t minor);

// Total video memory in MB: what the surfaces may use plus the primary surface's share, which
// the Windows 9x family (platform 1) counts as 1.5 primaries and the NT family as 1.25.
uint32_t video_memory_mb(uint32_t surface_bytes, uint32_t width, uint32_t height, uint32_t bits,
                         uint32_t platform_id);

// Sums the fixed drives from C: upwards, stopping at the first letter absent from the mask.
struct DiskTotals {
    uint64_t total_bytes = 0;
    uint64_t free_bytes = 0;
};
using FixedDriveSpace = std::function<bool(char letter, uint64_t& total, uint64_t& free)>;
// space is asked only of fixed drives, is_fixed of every present letter; a failing query adds
// nothing.
DiskTotals walk_fixed_drives(uint32_t drive_mask, const std::function<bool(char)>& is_fixed,
                             const FixedDriveSpace& space);

// NUL-separated strings ending at a double NUL (or at the end of the bytes), joined with blanks.
void join_multi_string(const char* strings, size_t size, char* buffer, size_t buffer_size);

// "2003-05-06 08:09:10".
void format_collection_time(const std::tm& time, char* buffer, size_t size);
