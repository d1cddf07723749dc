#pragma once
#include <optional>
#include <string>
#include <string_view>
// The program's texts are GBK (code page 936); the service's pages and store are UTF-8.

// Null when `gbk` is not valid GBK.
std::optional<std::string> gbk_to_utf8(std::string_view gbk);
// True when `text` is valid UTF-8.
bool valid_utf8(std::string_view text);
