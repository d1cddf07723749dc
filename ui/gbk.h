#pragma once
#include <cstdio>
#include <string>
#include <string_view>
// The program's texts are GBK bytes (code page 936); the platform takes UTF-16. Every text
// crosses between the two here, and only here.

std::wstring to_wide(std::string_view gbk);
std::string to_gbk(std::wstring_view wide);

// fopen for a GBK path (on Windows through the wide file API).
FILE* open_gbk(const char* gbk_path, const char* mode);
// remove() for a GBK path; true when the file is gone afterwards.
bool remove_gbk(const char* gbk_path);
