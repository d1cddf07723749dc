#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "server/upload_check.h"
#include "tests/native/upload_maker.h"
// The service's reading of uploads: addresses made by the program's own upload code are accepted
// with every field as the program wrote it, and each way an address can be malformed or faked is
// refused with its own answer. The texts here are GBK (the program's) unless marked as UTF-8.

namespace {

// 2026-12-08 12:00:00 UTC.
constexpr std::time_t kNow = 1796731200;

std::string text_of(const UploadSpec& spec) {
    return decode_upload(upload_letters(spec));
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

TEST(ResultsUpload, AcceptsWhatTheProgramSends) {
    UploadSpec standard;
    standard.info = "机器名: 测试机\n处理器: AMD Athlon(tm) 1200MHz\n";
    UploadSpec options = standard;
    options.flags = 0x1010;
    options.speeds[2] = 12345.67f;
    UploadSpec no_mode = standard;
    no_mode.width = no_mode.height = no_mode.bits = 0;
    no_mode.speeds[kDirectDrawTest] = 0.0f;

    const UploadCheck s = check_upload(upload_letters(standard), kNow);
    ASSERT_TRUE(s.ok) << s.problem;
    EXPECT_EQ(s.facts.mail, "me@host.com");
    EXPECT_EQ(s.facts.pass, "secret1");
    const double speeds[kUploadTests] = {71.40, 6.78, 3.50, 679.48, 8.41};
    for (int k = 0; k < kUploadTests; ++k)
        EXPECT_DOUBLE_EQ(s.facts.speeds[k], speeds[k]) << k;
    EXPECT_EQ(s.facts.flags, 0u);
    EXPECT_EQ(s.facts.width, 1024);
    EXPECT_EQ(s.facts.height, 768);
    EXPECT_EQ(s.facts.bits, 16);
    EXPECT_EQ(s.facts.machine, U8("机器名: 测试机\n处理器: AMD Athlon(tm) 1200MHz\n"));
    EXPECT_EQ(s.facts.settings, U8("标准设置"));
    EXPECT_EQ(s.facts.stamp, "2026-12-08 09:05:07");
    EXPECT_EQ(s.facts.body, text_of(standard).substr(std::string("me@host.com secret1\n").size()));

    const UploadCheck o = check_upload(upload_letters(options), kNow);
    ASSERT_TRUE(o.ok) << o.problem;
    EXPECT_EQ(o.facts.flags, 0x1010u);
    EXPECT_DOUBLE_EQ(o.facts.speeds[2], 12345.67);
    char words[256];
    settings_text(0x1010, words, sizeof words);
    EXPECT_EQ(o.facts.settings + " \n", words)
        << "the option words, without the blank and line feed";

    const UploadCheck n = check_upload(upload_letters(no_mode), kNow);
    ASSERT_TRUE(n.ok) << n.problem;
    EXPECT_EQ(n.facts.width, 0);

    // A machine text too long for the address is cut by bytes; a cut through a character leaves
    // its first byte, which is dropped. Both parities of the cut are taken.
    for (const char* pad : {"", "x"}) {
        UploadSpec cut = standard;
        cut.info = pad;
        while (cut.info.size() < 900)
            cut.info += "汉字";
        const std::string letters = upload_letters(cut);
        ASSERT_FALSE(letters.empty());
        const UploadCheck c = check_upload(letters, kNow);
        ASSERT_TRUE(c.ok) << c.problem;
        EXPECT_GT(c.facts.machine.size(), 400u);
        EXPECT_EQ(c.facts.machine.find(U8("汉字汉字")), std::string(pad).size());
        EXPECT_EQ(c.facts.machine.size() % 3, std::string(pad).size()) << "whole characters";
    }
}

TEST(ResultsUpload, RefusesEachMalformedOrFakedUpload) {
    UploadSpec spec;
    const std::string good = text_of(spec);
    const std::string letters = upload_letters(spec);
    UploadSpec future = spec;
    future.time = {0, 0, 13, 9, 11, 126, 0, 0, 0, 0, nullptr}; // 2026-12-09 13:00, 25 h ahead
    UploadSpec tomorrow = spec;
    tomorrow.time = {0, 0, 11, 9, 11, 126, 0, 0, 0, 0, nullptr}; // 23 h ahead: a time zone

    struct Case {
        const char* what;
        std::string letters;
        const char* problem; // UTF-8; null: accepted
    };
    // 2^500: exact as a double, so that "%.2f" writes it back digit for digit.
    const std::string huge = "3273390607896141870013189696827599152216642046043064789483291368096"
                             "1337964046745548832700923259041571508866841275600710092172565458853"
                             "93053328527589376.00";
    const std::string huge_problem =
        std::string(U8("第1项速度")) + huge + U8("超出了可信的范围(0~50000)。");
    const std::string head = "me@host.com secret1\n1 1\n";
    const std::string speeds = "71.40  6.78  3.50 679.48  8.41 0 1024 768 16\n";
    const Case cases[] = {
        {"nothing", "", U8("没有收到上传的数据。")},
        {"a letter after P", letters.substr(0, 10) + "Q" + letters.substr(11),
         U8("上传的数据中有A~P以外的字符。")},
        {"a lower-case letter", "a" + letters.substr(1), U8("上传的数据中有A~P以外的字符。")},
        {"odd length", letters.substr(1), U8("上传的数据长度为奇数，不完整。")},
        {"2048 letters",
         letters_of(replaced(good, "CPU: x86\n", std::string(1024 - good.size() + 9, 'y'))),
         nullptr},
        {"2050 letters",
         letters_of(replaced(good, "CPU: x86\n", std::string(1025 - good.size() + 9, 'y'))),
         U8("上传的数据太长：超过了2048个字母。")},
        {"no final line feed", letters_of(good.substr(0, good.size() - 1)),
         U8("上传的数据不是以换行结束的。")},
        {"two lines only", letters_of(head), U8("上传的数据不完整：缺少速度一行。")},
        {"no password", letters_of(replaced(good, " secret1", "")),
         U8("第一行应当是Email地址和密码，中间一个空格。")},
        {"short address", letters_of(replaced(good, "me@host.com", "a@b.cd")),
         U8("帐户：Email只能够7~40个字符.")},
        {"address ending in @", letters_of(replaced(good, "me@host.com", "mehost.com@")),
         U8("帐户：不是一个有效的Email.")},
        {"plus in address", letters_of(replaced(good, "me@host.com", "me+x@host.com")),
         U8("帐户：Email地址中包含非法字符。")},
        {"password too short", letters_of(replaced(good, "secret1", "abcd")),
         U8("帐户：密码只能够5~15个字符.")},
        {"password with _", letters_of(replaced(good, "secret1", "sec_ret")),
         U8("帐户：密码只能由数字和字母构成。")},
        {"second line", letters_of(replaced(good, "1 1\n", "2 1\n")), U8("第二行应当是“1 1”。")},
        {"a speed missing", letters_of(replaced(good, " 8.41 ", " ")),
         U8("第三行应当有五个速度、选项标志和显示模式。")},
        {"negative speed", letters_of(replaced(good, " 6.78 ", "-6.78 ")), U8("速度的格式不对。")},
        {"not a number", letters_of(replaced(good, " 6.78 ", "  nan ")), U8("速度的格式不对。")},
        {"one decimal", letters_of(replaced(good, " 6.78 ", "  6.8 ")), U8("速度的格式不对。")},
        {"unpadded speed", letters_of(replaced(good, " 6.78 ", "6.78 ")), U8("第三行的格式不对。")},
        {"integer at its ceiling", letters_of(replaced(good, "71.40 ", "50000.00 ")), nullptr},
        {"integer above it", letters_of(replaced(good, "71.40 ", "50000.01 ")),
         U8("第1项速度50000.01超出了可信的范围(0~50000)。")},
        {"a speed of 151 digits", letters_of(replaced(good, "71.40 ", huge + " ")),
         huge_problem.c_str()},
        {"disk above its ceiling", letters_of(replaced(good, " 8.41 ", "100000.01 ")),
         U8("第5项速度100000.01超出了可信的范围(0~100000)。")},
        {"memory above its ceiling", letters_of(replaced(good, " 3.50 ", "500000.01 ")),
         U8("第3项速度500000.01超出了可信的范围(0~500000)。")},
        {"DirectDraw above its ceiling", letters_of(replaced(good, " 679.48 ", " 500000.01 ")),
         U8("第4项速度500000.01超出了可信的范围(0~500000)。")},
        {"float above its ceiling", letters_of(replaced(good, " 6.78 ", "5000.01 ")),
         U8("第2项速度5000.01超出了可信的范围(0~5000)。")},
        {"unknown flag", letters_of(replaced(good, " 0 1024", " 1112 1024")),
         U8("选项标志中有未知的选项。")},
        {"lower-case flags", letters_of(replaced(good, " 0 1024", " 1a 1024")),
         U8("选项标志不是十六进制数。")},
        {"leading zero", letters_of(replaced(good, " 0 1024", " 01 1024")),
         U8("选项标志不是十六进制数。")},
        {"tiny mode", letters_of(replaced(good, "1024 768 16", "100 100 16")),
         U8("显示模式不合理。")},
        {"odd bits", letters_of(replaced(good, "1024 768 16", "1024 768 17")),
         U8("显示模式不合理。")},
        {"negative width", letters_of(replaced(good, "1024 768 16", "-1024 768 16")),
         U8("显示模式的格式不对。")},
        {"options claimed with standard words", letters_of(replaced(good, " 0 1024", " 10 1024")),
         U8("设置文字与选项标志不符。")},
        {"no time stamp", letters_of(good.substr(0, good.size() - 13)),
         U8("上传的数据不完整：缺少设置或时间。")},
        {"settings cut short", letters_of(replaced(good, "标准设置\n", "标准\n")),
         U8("设置文字与选项标志不符。")},
        {"month 13", letters_of(replaced(good, "261208", "261308")),
         U8("上传的时间不是一个真实的日期和时间。")},
        {"29 February 2026", letters_of(replaced(good, "261208", "260229")),
         U8("上传的时间不是一个真实的日期和时间。")},
        {"29 February 2024", letters_of(replaced(good, "261208", "240229")), nullptr},
        {"hour 24", letters_of(replaced(good, "090507", "240507")),
         U8("上传的时间不是一个真实的日期和时间。")},
        {"a letter in the stamp", letters_of(replaced(good, "090507", "09O507")),
         U8("时间的格式不对。")},
        {"a day and an hour ahead", upload_letters(future), U8("上传的时间在将来。")},
        {"23 hours ahead", upload_letters(tomorrow), nullptr},
        {"not GBK",
         letters_of(replaced(good, "CPU",
                             "\xFF\xFF"
                             "CPU")),
         U8("机器信息不是有效的GBK文字。")},
        {"a control character",
         letters_of(replaced(good, "CPU",
                             "\x01"
                             "CPU")),
         U8("机器信息中有控制字符。")},
        {"a zero byte", letters_of(replaced(good, "CPU", std::string(1, '\0') + "CPU")),
         U8("机器信息中有控制字符。")},
    };
    for (const Case& c : cases) {
        const UploadCheck check = check_upload(c.letters, kNow);
        if (c.problem == nullptr)
            EXPECT_TRUE(check.ok) << c.what << ": " << check.problem;
        else
            EXPECT_EQ(check.problem, c.problem) << c.what;
        EXPECT_EQ(check.ok, c.problem == nullptr) << c.what;
    }
    EXPECT_EQ(speeds, good.substr(head.size(), speeds.size())) << "the line the cases edit";
}
