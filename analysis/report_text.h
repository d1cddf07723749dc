#pragma once
#include <cstdio>
#include <string>
// The text report of the analysis list: a title, then every row as its label, a colon, two
// blanks and its text, one line a row.

struct ReportCell {
    const char* label;
    const char* text;
};
// Line feeds as "\n"; a file opened in text mode makes them CR LF.
std::string report_text(const ReportCell* cells, int count);

// Writes the text and closes the file; false when a write, the flush or the close failed (the
// file is closed either way).
bool write_report_text(std::FILE* file, const std::string& text);
