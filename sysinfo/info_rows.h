#pragma once
#include <cstddef>
#include <cstdint>
// The machine-information dialog's rows: each machine's information text split into lines, one
// row per line, with the machine's test settings in words behind its last line.

constexpr int kInfoRows = 32;
constexpr int kInfoRowSize = 256; // 255 bytes and the NUL
using InfoRows = char[kInfoRows][kInfoRowSize];

// The row that "%-5dMHz    " is rewritten into while the current machine's clock is measured.
constexpr int kClockRow = 3;

// "标准设置 " for flags 0, otherwise "CACHED ", "BIG_BLOCK ", "SSE ", "3DNOW " for each option
// recorded, in that order.
void option_words(uint32_t flags, char* buffer, size_t size);

// Clears the rows and splits the text into them at each line feed (not kept): at most 32 lines,
// and a line that reaches 255 bytes (cut at a whole character) ends the splitting. Returns the
// number of line feeds in the whole text.
int split_info_rows(const char* text, InfoRows& rows);

// Puts the option words behind row `row`'s text; a row past the table means the last one. The
// words always fit whole: the row's own text is cut (at a whole character) to make room.
void append_option_words(InfoRows& rows, int row, uint32_t flags);

// Both columns of the dialog from the two machines: split, then the option words behind line j,
// the larger of the two line-feed counts. Returns j.
int fill_info_columns(const char* text1, uint32_t flags1, const char* text2, uint32_t flags2,
                      InfoRows& column1, InfoRows& column2);
