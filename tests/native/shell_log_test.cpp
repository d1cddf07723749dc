#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shell/log.h"
#include "shell/msg_names.h"

namespace {
std::string read_all(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        s.push_back(static_cast<char>(c));
    return s;
}
} // namespace

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
    EXPECT_EQ(read_all(f), "\na\nb\n100%d done\n\nBegin No.1 test at 20......");
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
