#include "sysinfo/machine_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sysinfo/cpu_id.h"
#include "ui/gbk.h"

const char kInfoLabels[kInfoLabelCount][kInfoLabelSize] = {
    "机器名",  "处理器",   "CPU特性",  "CPU主频",  "显  卡",   "显卡ID",
    "显存容量", "显卡模式", "硬盘空间", "BIOS类型", "BIOS日期", "物理内存",
    "虚存文件", "操作系统", "测试时间", "测试设置",
};

void InfoText::clear() { std::memset(text_, 0, capacity_); }

size_t InfoText::length() const { return strnlen(text_, capacity_ - 1); }

void InfoText::append(const char* gbk) {
    size_t at = length();
    size_t n = gbk_fit_length(gbk, capacity_ - 1 - at);
    std::memcpy(text_ + at, gbk, n);
    text_[at + n] = '\0';
}

void InfoText::appendf(const char* format, ...) {
    char item[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(item, sizeof item, format, args);
    va_end(args);
    append(item);
}

void feature_words(uint32_t features, char* buffer, size_t size) {
    std::snprintf(buffer, size, "%s%s%s%s", (features & kCpuMmx) ? "MMX " : "",
                  (features & kCpuSse) ? "SSE " : "", (features & kCpuSse2) ? "SSE2 " : "",
                  (features & kCpu3DNow) ? "3DNOW " : "");
}

uint32_t rounded_memory_mb(uint64_t total_bytes) {
    return static_cast<uint32_t>(((total_bytes >> 20) + 3) / 4 * 4);
}

const char* os_name(uint32_t platform_id, uint32_t major, uint32_t minor) {
    if (platform_id == 1)
        return minor < 10 ? "Win95" : minor < 20 ? "Win98" : "WinMe";
    if (major <= 4)
        return "WinNT";
    return minor == 0 ? "Win2000" : "WinXP";
}

uint32_t video_memory_mb(uint32_t surface_bytes, uint32_t width, uint32_t height, uint32_t bits,
                         uint32_t platform_id) {
    uint32_t primary = width * height * (bits + 1) / 8;
    double share = platform_id == 1 ? 1.5 : 1.25;
    auto total = static_cast<uint64_t>(surface_bytes + primary * share);
    return static_cast<uint32_t>(total / 1048576);
}

DiskTotals walk_fixed_drives(uint32_t drive_mask, const std::function<bool(char)>& is_fixed,
                             const FixedDriveSpace& space) {
    DiskTotals totals;
    for (int bit = 2; bit < 26 && (drive_mask & (1u << bit)) != 0; ++bit) {
        char letter = static_cast<char>('A' + bit);
        uint64_t total = 0, free = 0;
        if (is_fixed(letter) && space(letter, total, free)) {
            totals.total_bytes += total;
            totals.free_bytes += free;
        }
    }
    return totals;
}

void join_multi_string(const char* strings, size_t size, char* buffer, size_t buffer_size) {
    size_t out = 0;
    for (size_t i = 0; i < size && out + 1 < buffer_size; ++i) {
        if (strings[i] == '\0') {
            if (i + 1 >= size || strings[i + 1] == '\0')
                break;
            buffer[out++] = ' ';
        } else {
            buffer[out++] = strings[i];
        }
    }
    buffer[out] = '\0';
}

void format_collection_time(const std::tm& time, char* buffer, size_t size) {
    std::snprintf(buffer, size, "%04d-%02d-%02d %02d:%02d:%02d", time.tm_year + 1900,
                  time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
}
