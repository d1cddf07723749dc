#include <gtest/gtest.h>

#include <string>

#include "ui/gbk.h"

// The compiler encodes a text twice, independently of the converters under test: the narrow
// literal as GBK bytes and the wide literal as UTF-16 (UTF-32 natively). to_wide and to_gbk must
// carry one into the other in both directions.

TEST(GbkTexts, KnownBytesOfCodePage936) {
    EXPECT_EQ(std::string("当前系统"), "\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3");
    EXPECT_EQ(to_gbk(L"当前系统"), "\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3");
    EXPECT_EQ(to_wide("\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3"), L"当前系统");
    EXPECT_EQ(to_wide(""), L"");
    EXPECT_EQ(to_gbk(L""), "");
    // Full-width punctuation between ASCII, both ways.
    EXPECT_EQ(to_wide("——体贴，20% M次/s……！"), L"——体贴，20% M次/s……！");
    EXPECT_EQ(to_gbk(L"——体贴，20% M次/s……！"), "——体贴，20% M次/s……！");
}

TEST(GbkTexts, CharactersGbkLacksAreDroppedAlone) {
    // Each one goes on its own; the characters after it come out as they were.
    struct Case {
        const wchar_t* wide;
        const char* gbk;
    };
    const Case cases[] = {
        {L"a\u0831b", "ab"},
        {L"当😀前系统", "当前系统"},
        {L"x\xD800y\u0831\u0831z", "xyz"}, // a lone surrogate too
        {L"😀", ""},
    };
    for (const Case& c : cases) {
        std::string gbk = to_gbk(c.wide);
#ifdef _WIN32
        // Windows puts a "?" where each one was.
        std::erase(gbk, '?');
#endif
        EXPECT_EQ(gbk, std::string(c.gbk)) << c.gbk;
    }
}
