#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ui/gbk.h"

// The program's narrow literals become GBK through -fexec-charset=GB18030, which also takes
// characters GBK lacks (as four-byte codes no GBK converter reads): every non-ASCII narrow
// literal of the sources must survive UTF-8 -> CP936 -> UTF-8 unchanged.

namespace fs = std::filesystem;

namespace {
bool identifier_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Calls `found(line, text)` for each non-ASCII narrow string literal of a C++ source; comments,
// character literals and prefixed (wide, UTF-8, raw) literals are skipped.
template <class Found> void narrow_literals(const std::string& src, Found found) {
    int line = 1;
    size_t i = 0;
    auto advance_to = [&](size_t end) {
        for (; i < end && i < src.size(); ++i)
            line += src[i] == '\n';
    };
    while (i < src.size()) {
        const char c = src[i];
        if (src.compare(i, 2, "//") == 0) {
            advance_to(std::min(src.find('\n', i), src.size()));
        } else if (src.compare(i, 2, "/*") == 0) {
            const size_t end = src.find("*/", i + 2);
            advance_to(end == std::string::npos ? src.size() : end + 2);
        } else if (c == '"' || (c == '\'' && (i == 0 || !identifier_char(src[i - 1])))) {
            size_t start = i;
            while (start > 0 && identifier_char(src[start - 1]))
                --start;
            const std::string prefix = src.substr(start, i - start);
            const bool raw = !prefix.empty() && prefix.back() == 'R';
            size_t end;
            if (raw) {
                const size_t open = src.find('(', i);
                const std::string close = ")" + src.substr(i + 1, open - i - 1) + "\"";
                end = src.find(close, open);
                end = end == std::string::npos ? src.size() : end + close.size();
            } else {
                end = i + 1;
                while (end < src.size() && src[end] != c && src[end] != '\n')
                    end += src[end] == '\\' ? 2 : 1;
                end = std::min(end + 1, src.size());
            }
            const std::string text = src.substr(i + 1, end - i - 2);
            if (c == '"' && !raw && prefix.empty() &&
                std::any_of(text.begin(), text.end(), [](char t) { return t & 0x80; }))
                found(line, text);
            advance_to(end);
        } else {
            advance_to(i + 1);
        }
    }
}

// Strict conversion: false on any character the target cannot hold.
bool convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string buffer(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size(), dst_left = buffer.size();
    char* dst = buffer.data();
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    out.assign(buffer.data(), buffer.size() - dst_left);
    return r != static_cast<size_t>(-1) && src_left == 0;
}
} // namespace

TEST(SourceTexts, EveryNonAsciiNarrowLiteralIsGbk) {
    const fs::path root = KALVIT_SOURCE_DIR;
    const std::string config_message = reinterpret_cast<const char*>(u8"无法打开文件");
    bool saw_config_message = false;
    for (const char* dir : {"engine", "shell", "ui", "pages", "infopage", "analysis", "sysinfo"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / dir)) {
            const fs::path& p = entry.path();
            if (!entry.is_regular_file() || (p.extension() != ".cpp" && p.extension() != ".h"))
                continue;
            std::stringstream content;
            content << std::ifstream(p, std::ios::binary).rdbuf();
            narrow_literals(content.str(), [&](int line, const std::string& utf8) {
                saw_config_message |= utf8.find(config_message) != std::string::npos;
                std::string gbk, back;
                EXPECT_TRUE(convert("CP936", "UTF-8", utf8, gbk) &&
                            convert("UTF-8", "CP936", gbk, back) && back == utf8)
                    << p << ":" << line << ": \"" << utf8 << "\"";
                // And the program's own converters carry it to UTF-16 and back.
                EXPECT_EQ(to_gbk(to_wide(gbk)), gbk) << p << ":" << line;
            });
        }
    }
    EXPECT_TRUE(saw_config_message) << "the walk missed shell/config_file.cpp";
}
