#pragma once
#include <cstdio>
#include <string>
#include <string_view>
// The program's texts are GBK bytes (code page 936); the platform takes UTF-16. Every text
// crosses between the two here, and only here.

std::wstring to_wide(std::string_view gbk);
std::string to_gbk(std::wstring_view wide);

// The length of the longest start of a GBK text that fits in limit bytes and ends on a whole
// character: a lead byte (0x81-0xFE) is never kept without the byte after it.
size_t gbk_fit_length(std::string_view gbk, size_t limit);

// fopen for a GBK path (on Windows through the wide file API).
FILE* open_gbk(const char* gbk_path, const char* mode);
// remove() for a GBK path; true when the file is gone afterwards.
bool remove_gbk(const char* gbk_path);
// Renames a GBK path over another, replacing it when it exists; true on success.
bool replace_gbk(const char* gbk_from, const char* gbk_to);
// Writes a stream's buffers through to the disk (not only to the system's cache).
bool sync_file(FILE* file);
