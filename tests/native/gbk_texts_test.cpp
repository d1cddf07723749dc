#include <gtest/gtest.h>

#include <string>

#include "ui/gbk.h"

// The compiler encodes each text twice, independently of the converters: the narrow literal as
// GBK bytes, the wide one as UTF-16 (UTF-32 natively). Characters GBK lacks go alone (Windows
// puts a "?" for each).
TEST(GbkTexts, ConvertersCarryEachEncodingIntoTheOther) {
    EXPECT_EQ(to_gbk(L"当前系统"), "\xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3");
    EXPECT_EQ(to_wide("——体贴，20% M次/s……！"), L"——体贴，20% M次/s……！");
    EXPECT_EQ(to_gbk(L"——体贴，20% M次/s……！"), "——体贴，20% M次/s……！");
    EXPECT_EQ(to_wide(""), L"");
    for (const auto& [wide, gbk] :
         {std::pair{L"当😀前", "当前"}, std::pair{L"x\xD800y\u0831z", "xyz"}}) {
        std::string got = to_gbk(wide);
#ifdef _WIN32
        std::erase(got, '?');
#endif
        EXPECT_EQ(got, std::string(gbk)) << gbk;
    }
}
