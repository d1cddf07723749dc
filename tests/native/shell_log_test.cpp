#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "shell/log.h"
#include "shell/msg_names.h"
#include "shell/msgbox.h"
#include "shell/startup_rules.h"
#include "tests/read_all.h"
#include "ui/gbk.h"

TEST(Log, OffFormatsNothingAndOnPutsSeparatorFirstAndCutsToTheBuffer) {
    log_close();
    // A null text for %s would crash any formatter: with the log off nothing is formatted.
    const char* null_text = nullptr;
    QMsgLog("%s", null_text);
    EXPECT_FALSE(log_enabled());

    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    QMsgLog("a");
    QMsgLog("%s", "100%d done");
    QMsgLog("\nBegin No.%d test at %d......", 1, 20);
    const wchar_t lone_surrogate[] = {static_cast<wchar_t>(0xD800), 0};
    QMsgLog("%ls", lone_surrogate);
    QMsgLog("%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(read_all(f), "\na\n100%d done\n\nBegin No.1 test at 20......\nQMsg error!\n" +
                               std::string(2047, 'x'));
    log_close();
    std::fclose(f);
}

TEST(MsgName, TableOffOnAndUnknown) {
    msg_names_disable();
    EXPECT_EQ(QMsgName(0x0010), nullptr);
    msg_names_enable();
    EXPECT_STREQ(QMsgName(0x0010), "WM_CLOSE");
    EXPECT_STREQ(QMsgName(0x7FFF), "---UNKNOW_MSG---");
    msg_names_disable();
    EXPECT_EQ(QMsgName(0x7FFF), nullptr);
}

namespace {
// What the message services did, in order: "hide", "box:<text>", "show".
std::vector<std::string> events;
void record(const char* text) {
    events.push_back(std::string("box:") + text);
}
void record_hide() {
    events.push_back("hide");
}
void record_show() {
    events.push_back("show");
}
} // namespace

TEST(MsgBox, HidesTheWelcomeWindowFormatsAndCutsAndReportsFormattingFailure) {
    MessagePresenter previous = set_message_presenter(record);
    WelcomeHooks previous_hooks = set_welcome_hooks({record_hide, record_show});
    using Events = std::vector<std::string>;
    events.clear();
    EXPECT_EQ(QMsgBox("无法打开文件\"%s\"!", "c:\\kalvit\\kalvtetc.inf"), 1);
    EXPECT_EQ(events, (Events{"hide", "box:无法打开文件\"c:\\kalvit\\kalvtetc.inf\"!", "show"}));

    events.clear();
    std::string big(3000, 'y');
    EXPECT_EQ(QMsgBox("%s", big.c_str()), 1);
    EXPECT_EQ(events, (Events{"hide", "box:" + std::string(1023, 'y'), "show"}));

    // A wide text that has no multibyte form cannot be formatted: the welcome window was hidden
    // first and stays hidden, and nothing is drained.
    events.clear();
    const wchar_t lone_surrogate[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(QMsgBox("%ls", lone_surrogate), 0);
    EXPECT_EQ(events, (Events{"hide", "box:QMsg error!"}));
    set_welcome_hooks(previous_hooks);
    set_message_presenter(previous);
}

TEST(StartUpRules, InstallationCallProgramDirectoryAndFrameHeight) {
    struct Call {
        const char* command_line;
        bool installs;
    };
    for (Call c : {Call{"\"help\" more", true}, Call{"helpXYZ", true}, Call{"hel", false},
                   Call{" help", false}, Call{"\"help", false}, Call{"HELP", false}})
        EXPECT_EQ(is_installation_call(c.command_line), c.installs) << c.command_line;

    // 乗 and 淺 end in the byte 5C, a backslash: only whole characters are cut at.
    EXPECT_EQ(directory_of("c:\\dir\\淺kalvit.exe"), "c:\\dir");
    EXPECT_EQ(directory_of("d:\\乗\\x.exe"), "d:\\\x81\x5c");
    EXPECT_EQ(directory_of("kalvit.exe"), "kalvit.exe");

    // 395 pixels keep the created frame; 396 make it 470 high and centred, truncating.
    const FrameBounds created{192, 164, 832, 604};
    struct Fit {
        int slogan_below_top;
        int screen_height;
        FrameBounds expected;
    };
    for (Fit f : {Fit{395, 768, created}, Fit{396, 768, {192, 149, 832, 619}},
                  Fit{500, 767, {192, 148, 832, 618}}, Fit{-20, 768, created}}) {
        FrameBounds got =
            fit_frame_height(created, created.top + f.slogan_below_top, f.screen_height);
        EXPECT_EQ(std::vector<int>({got.left, got.top, got.right, got.bottom}),
                  std::vector<int>(
                      {f.expected.left, f.expected.top, f.expected.right, f.expected.bottom}))
            << f.slogan_below_top;
    }
}
