#include <gtest/gtest.h>

#include <string>

#include "ui/gbk.h"

// The compiler encodes each text twice, independently of the converters under test: the narrow
// literal as GBK bytes and the wide literal as UTF-16 (UTF-32 natively). to_wide and to_gbk must
// carry one into the other in both directions.

namespace {
struct TextPair {
    const char* gbk;
    const wchar_t* wide;
};
#define TEXT_PAIR(s)                                                                               \
    { s, L##s }
const TextPair kProgramTexts[] = {
    TEXT_PAIR("当前系统"),
    TEXT_PAIR("基本系统: 联想奔月4000 PIII650E"),
    TEXT_PAIR("无法打开文件\"%s\"!"),
    TEXT_PAIR("正在初始化，请稍候......"),
    TEXT_PAIR("正在进行预备测试……"),
    TEXT_PAIR("——温和、细致、体贴是我们的风格！"),
    TEXT_PAIR("启动程序时进行预备测试（测试时间更确定）"),
    TEXT_PAIR("平均性能:整数20% 浮点20% 内存20% 磁盘20% 图形20%"),
    TEXT_PAIR("Email地址中包含非法字符。"),
    TEXT_PAIR("字符串总长度=%d Bytes,\n可能会丢失信息，继续上传吗?"),
    TEXT_PAIR("打开url错误! 可能是网络连接问题。"),
    TEXT_PAIR("创建主窗口失败！"),
    TEXT_PAIR("M次/s"),
    TEXT_PAIR("使用1024x768 16bit分辨率，适配器缺省刷新率"),
};
#undef TEXT_PAIR
} // namespace

TEST(GbkTexts, KnownBytesOfCodePage936) {
    EXPECT_EQ(std::string("当前系统"), "\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3");
    EXPECT_EQ(to_gbk(L"当前系统"), "\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3");
    EXPECT_EQ(to_wide("\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3"), L"当前系统");
    EXPECT_EQ(to_wide(""), L"");
    EXPECT_EQ(to_gbk(L""), "");
}

TEST(GbkTexts, ProgramTextsRoundTrip) {
    for (const TextPair& t : kProgramTexts) {
        EXPECT_EQ(to_wide(t.gbk), std::wstring(t.wide)) << t.gbk;
        EXPECT_EQ(to_gbk(t.wide), std::string(t.gbk)) << t.gbk;
        EXPECT_EQ(to_gbk(to_wide(t.gbk)), std::string(t.gbk)) << t.gbk;
    }
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
