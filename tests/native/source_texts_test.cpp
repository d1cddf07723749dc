#include <gtest/gtest.h>
#include <iconv.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ui/gbk.h"

// The program's narrow literals become GBK bytes through -fexec-charset=GB18030, which also
// accepts characters that GBK lacks (as four-byte codes the GBK converters cannot read). So every
// non-ASCII narrow literal in the sources must survive UTF-8 -> CP936 -> UTF-8 unchanged.

namespace fs = std::filesystem;

namespace {
struct Literal {
    std::string file;
    int line;
    std::string text; // the source bytes between the quotes, UTF-8
};

// Test texts that must stay UTF-8 (narrow literals here are compiled to GBK like the program's).
std::string utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

bool has_non_ascii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

bool identifier_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Non-ASCII narrow string literals of a C++ source; comments, character literals and the
// prefixed (wide, UTF-8, raw) literals are skipped.
std::vector<Literal> narrow_literals(const std::string& file, const std::string& src) {
    std::vector<Literal> found;
    int line = 1;
    size_t i = 0;
    auto advance_to = [&](size_t end) {
        for (; i < end && i < src.size(); ++i)
            line += src[i] == '\n';
    };
    while (i < src.size()) {
        char c = src[i];
        if (src.compare(i, 2, "//") == 0) {
            advance_to(src.find('\n', i) == std::string::npos ? src.size() : src.find('\n', i));
        } else if (src.compare(i, 2, "/*") == 0) {
            size_t end = src.find("*/", i + 2);
            advance_to(end == std::string::npos ? src.size() : end + 2);
        } else if (c == '"' || (c == '\'' && (i == 0 || !identifier_char(src[i - 1])))) {
            size_t start = i;
            while (start > 0 && identifier_char(src[start - 1]))
                --start;
            std::string prefix = src.substr(start, i - start);
            bool raw = !prefix.empty() && prefix.back() == 'R';
            size_t end;
            if (raw) {
                size_t open = src.find('(', i);
                std::string close = ")" + src.substr(i + 1, open - i - 1) + "\"";
                end = src.find(close, open);
                end = end == std::string::npos ? src.size() : end + close.size();
            } else {
                end = i + 1;
                while (end < src.size() && src[end] != c && src[end] != '\n')
                    end += src[end] == '\\' ? 2 : 1;
                end = std::min(end + 1, src.size());
            }
            if (c == '"' && !raw && prefix.empty()) {
                std::string text = src.substr(i + 1, end - i - 2);
                if (has_non_ascii(text))
                    found.push_back({file, line, text});
            }
            advance_to(end);
        } else {
            advance_to(i + 1);
        }
    }
    return found;
}

// Strict conversion: false on any character the target cannot hold.
bool convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string buffer(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = buffer.data();
    size_t dst_left = buffer.size();
    size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || src_left != 0)
        return false;
    out.assign(buffer.data(), buffer.size() - dst_left);
    return true;
}

bool survives_gbk(const std::string& utf8, std::string& gbk) {
    std::string back;
    return convert("CP936", "UTF-8", utf8, gbk) && convert("UTF-8", "CP936", gbk, back) &&
           back == utf8;
}

std::vector<Literal> program_literals() {
    std::vector<Literal> all;
    const fs::path root = KALVIT_SOURCE_DIR;
    for (const char* dir : {"engine", "shell", "ui", "pages", "infopage", "analysis", "sysinfo"}) {
        if (!fs::exists(root / dir))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / dir)) {
            const fs::path& p = entry.path();
            if (!entry.is_regular_file() || (p.extension() != ".cpp" && p.extension() != ".h"))
                continue;
            std::ifstream in(p, std::ios::binary);
            std::stringstream content;
            content << in.rdbuf();
            std::vector<Literal> found =
                narrow_literals(fs::relative(p, root).generic_string(), content.str());
            all.insert(all.end(), found.begin(), found.end());
        }
    }
    return all;
}
} // namespace

TEST(SourceTexts, ScannerFindsOnlyNarrowLiteralsOutsideComments) {
    const std::string src = utf8(u8R"src(// "注释" 'x'
/* "块注释" */ int a = 1'000;
const char* s = "当前系统"; const wchar_t* w = L"宽";
auto r = R"x(原始")x"; auto u = u8"字"; char q = '"';
const char* e = "转义\"中" "ascii";
)src");
    std::vector<Literal> found = narrow_literals("t.cpp", src);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].text, utf8(u8"当前系统"));
    EXPECT_EQ(found[0].line, 3);
    EXPECT_EQ(found[1].text, utf8(u8R"(转义\"中)"));
    EXPECT_EQ(found[1].line, 5);
}

TEST(SourceTexts, CheckCatchesCharactersOutsideGbk) {
    std::string gbk;
    EXPECT_TRUE(survives_gbk(utf8(u8"当前系统"), gbk));
    EXPECT_EQ(gbk, "\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3");
    EXPECT_FALSE(survives_gbk(utf8(u8"µs"), gbk));   // micro sign: GB18030 only
    EXPECT_FALSE(survives_gbk(utf8(u8"한글"), gbk)); // Hangul syllables: GB18030 only
}

TEST(SourceTexts, EveryNonAsciiNarrowLiteralIsGbk) {
    std::vector<Literal> literals = program_literals();
    const std::string config_message = utf8(u8"无法打开文件");
    bool saw_config_message = false;
    for (const Literal& lit : literals) {
        saw_config_message |= lit.text.find(config_message) != std::string::npos;
        std::string gbk;
        EXPECT_TRUE(survives_gbk(lit.text, gbk))
            << lit.file << ":" << lit.line << ": \"" << lit.text << "\"";
        // And the program's own converters carry it to UTF-16 and back.
        std::wstring wide = to_wide(gbk);
        EXPECT_FALSE(wide.empty()) << lit.file << ":" << lit.line;
        EXPECT_EQ(to_gbk(wide), gbk) << lit.file << ":" << lit.line;
    }
    EXPECT_TRUE(saw_config_message) << "the walk missed shell/config_file.cpp";
}
