#include "sysinfo/info_rows.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/model.h"
#include "ui/gbk.h"

void option_words(uint32_t flags, char* buffer, size_t size) {
    if (size == 0)
        return;
    buffer[0] = '\0';
    if (flags == 0) {
        std::snprintf(buffer, size, "%s", "标准设置 ");
        return;
    }
    struct Word {
        uint32_t bit;
        const char* text;
    };
    static const Word kWords[] = {{kFlagDiskCached, "CACHED "},
                                  {kFlagMemBlock, "BIG_BLOCK "},
                                  {kFlagSse, "SSE "},
                                  {kFlag3DNow, "3DNOW "}};
    size_t used = 0;
    for (const Word& w : kWords) {
        if ((flags & w.bit) == 0)
            continue;
        int n = std::snprintf(buffer + used, size - used, "%s", w.text);
        if (n < 0 || used + static_cast<size_t>(n) >= size)
            return;
        used += static_cast<size_t>(n);
    }
}

int split_info_rows(const char* text, InfoRows& rows) {
    std::memset(rows, 0, sizeof rows);
    int feeds = 0;
    for (const char* p = text; *p != '\0'; ++p)
        feeds += *p == '\n';

    constexpr size_t kLineLimit = kInfoRowSize - 1;
    const char* p = text;
    for (int row = 0; row < kInfoRows && *p != '\0'; ++row) {
        const char* end = std::strchr(p, '\n');
        size_t length = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
        if (length >= kLineLimit) {
            size_t kept = gbk_fit_length(std::string_view(p, length), kLineLimit);
            std::memcpy(rows[row], p, kept);
            break;
        }
        std::memcpy(rows[row], p, length);
        if (end == nullptr)
            break;
        p = end + 1;
    }
    return feeds;
}

void append_option_words(InfoRows& rows, int row, uint32_t flags) {
    if (row < 0)
        row = 0;
    if (row > kInfoRows - 1)
        row = kInfoRows - 1;
    char words[64];
    option_words(flags, words, sizeof words);
    const size_t room = kInfoRowSize - 1 - std::strlen(words);
    char* target = rows[row];
    size_t kept = gbk_fit_length(std::string_view(target, strnlen(target, kInfoRowSize - 1)), room);
    std::snprintf(target + kept, kInfoRowSize - kept, "%s", words);
}

int fill_info_columns(const char* text1, uint32_t flags1, const char* text2, uint32_t flags2,
                      InfoRows& column1, InfoRows& column2) {
    const int feeds1 = split_info_rows(text1, column1);
    const int feeds2 = split_info_rows(text2, column2);
    const int j = feeds1 > feeds2 ? feeds1 : feeds2;
    append_option_words(column1, j, flags1);
    append_option_words(column2, j, flags2);
    return j;
}
