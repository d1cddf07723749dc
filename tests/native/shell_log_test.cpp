#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shell/log.h"
#include "shell/msg_names.h"
#include "shell/msgbox.h"
#include "tests/read_all.h"


TEST(Log, OffFormatsNothingAndOnPutsSeparatorFirst) {
    log_close();
    // A null text for %s would crash any formatter: with the log off nothing is formatted.
    const char* null_text = nullptr;
    QMsgLog("%s", null_text);
    EXPECT_FALSE(log_enabled());

    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    QMsgLog("a");
    QMsgLog("b");
    QMsgLog("%s", "100%d done");
    QMsgLog("\nBegin No.%d test at %d......", 1, 20);
    const wchar_t lone_surrogate[] = {static_cast<wchar_t>(0xD800), 0};
    QMsgLog("%ls", lone_surrogate);
    EXPECT_EQ(read_all(f), "\na\nb\n100%d done\n\nBegin No.1 test at 20......\nQMsg error!");
    log_close();
    std::fclose(f);
}

TEST(Log, OverlongLineIsCutToTheBuffer) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    std::string big(5000, 'x');
    QMsgLog("%s", big.c_str());
    EXPECT_EQ(read_all(f), "\n" + std::string(2047, 'x'));
    log_close();
    std::fclose(f);
}

TEST(MsgName, TableOffOnAndUnknown) {
    msg_names_disable();
    EXPECT_EQ(QMsgName(0x0010), nullptr);
    msg_names_enable();
    EXPECT_STREQ(QMsgName(0x0010), "WM_CLOSE");
    EXPECT_STREQ(QMsgName(0x0112), "WM_SYSCOMMAND");
    EXPECT_STREQ(QMsgName(0x001C), "WM_ACTIVATEAPP");
    EXPECT_STREQ(QMsgName(0x7FFF), "---UNKNOW_MSG---");
    msg_names_disable();
    EXPECT_EQ(QMsgName(0x7FFF), nullptr);
}

namespace {
std::string shown_text;
int shown_count = 0;
void record(const char* text) {
    shown_text = text;
    ++shown_count;
}
} // namespace

TEST(MsgBox, FormatsCutsAndReportsFormattingFailure) {
    MessagePresenter previous = set_message_presenter(record);
    shown_count = 0;
    EXPECT_EQ(QMsgBox("无法打开文件\"%s\"!", "c:\\kalvit\\kalvtetc.inf"), 1);
    EXPECT_EQ(shown_text, "无法打开文件\"c:\\kalvit\\kalvtetc.inf\"!");

    std::string big(3000, 'y');
    EXPECT_EQ(QMsgBox("%s", big.c_str()), 1);
    EXPECT_EQ(shown_text, std::string(1023, 'y'));

    // A wide text that has no multibyte form cannot be formatted.
    const wchar_t lone_surrogate[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(QMsgBox("%ls", lone_surrogate), 0);
    EXPECT_EQ(shown_text, "QMsg error!");
    EXPECT_EQ(shown_count, 3);
    set_message_presenter(previous);
}
