// The information page with the real frame, sheet and pages in the test process: its animation
// through DirectDraw in a window, seen on the screen; leaving the page; refusals; the web-site
// line, the two buttons and the hidden author text.

#include <windows.h>
#include <cstring>
#include <vector>

#include "analysis/encode_upload.h"
#include "engine/directx.h"
#include "engine/run_flags.h"
#include "shell/config_file.h"
#include "shell/msgbox.h"
#include "tests/wine/browser_redirect.h"
#include "tests/wine/frame_fixture.h"

namespace {

std::vector<std::string> messages;
int box_depth = 0, deepest_box = 0;
void record_message(const char* text) { messages.push_back(text); }

// A box that stays up for a while, as a user's would: the page's timer keeps calling the step.
void slow_message(const char* text) {
    messages.push_back(text);
    ++box_depth;
    deepest_box = box_depth > deepest_box ? box_depth : deepest_box;
    if (box_depth == 1)
        settle(300);
    --box_depth;
}

// What the screen shows in the picture's client area.
Picture screen_picture() {
    HWND picture = about_page.item(QAboutDlg::kPicture);
    RECT r{};
    GetClientRect(picture, &r);
    MapWindowPoints(picture, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return capture_area(nullptr, r);
}

// Holds G, B, Ctrl and Shift down while it lives, and lets them go however the test ends: keys
// left down would stay down for every later test in the prefix.
class HeldKeys {
public:
    HeldKeys() { send(0); }
    ~HeldKeys() { send(KEYEVENTF_KEYUP); }
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;

private:
    static void send(DWORD flags) {
        const WORD keys[] = {'G', 'B', VK_CONTROL, VK_SHIFT};
        INPUT input[4] = {};
        for (int i = 0; i < 4; ++i) {
            input[i].type = INPUT_KEYBOARD;
            input[i].ki.wVk = keys[i];
            input[i].ki.dwFlags = flags;
        }
        SendInput(4, input, sizeof(INPUT));
    }
};

// Drains messages until the page has drawn `steps` more frames; each step looks at the keys.
bool steps_pass(long steps) {
    const long from = about_page.frame_count();
    return pump_until([&] { return about_page.frame_count() >= from + steps; }, kWait);
}

class About : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        set_install_dir(KALVIT_BUILD_DIR);
        std::snprintf(version_info, sizeof version_info, "%s", "PC性能测试工具 kalvit 1.0");
        std::snprintf(visit_url, sizeof visit_url, "%s", "http://127.0.0.1:8642/");
        std::snprintf(contact_mail, sizeof contact_mail, "%s", "http://127.0.0.1:8642/contact");
        const std::string author = "kalvit 开发组";
        const UploadLetters letters = encode_upload(author.data(), author.size());
        std::snprintf(writer_info, sizeof writer_info, "%s%s", letters.low.c_str(),
                      letters.high.c_str());
        for (int i = 0; i < kAboutLines; ++i)
            std::snprintf(about_info[i], kConfigTextSize, "第 %d 行 information", i);
        create_test_frame();
        set_message_presenter(record_message);
    }
    static void TearDownTestSuite() { set_message_presenter(nullptr); }
    void SetUp() override {
        messages.clear();
        ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    }
    void TearDown() override {
        set_message_presenter(record_message);
        property_sheet.set_active_page(kTestPageIndex);
    }
    std::string log() const { return log_.text(); }
    TestLog log_;
};

TEST_F(About, RefusedDuringARunOrOverAnotherConnection) {
    test_running = 1;
    EXPECT_FALSE(property_sheet.set_active_page(kAboutPageIndex));
    EXPECT_EQ(property_sheet.active_index(), kTestPageIndex);
    test_running = 0;
    // The options page's display-mode list holds the connection open for a moment.
    directx.list_modes = 1;
    ASSERT_TRUE(init_directx(640, 480, 16));
    EXPECT_FALSE(property_sheet.set_active_page(kAboutPageIndex));
    EXPECT_EQ(property_sheet.active_index(), kTestPageIndex);
    // Nor does the idle drive draw over a connection that is not the page's.
    about_page.animation_step(QAboutDlg::kTimer);
    EXPECT_EQ(about_page.frame_count(), 0);
    CleanDirectX();
    directx.list_modes = 0;
    EXPECT_TRUE(messages.empty());
}

TEST_F(About, AnimatesOnTheScreenWhileActiveAndStopsWhenLeft) {
    ASSERT_TRUE(property_sheet.set_active_page(kAboutPageIndex));
    EXPECT_TRUE(directx.dd_open);
    EXPECT_TRUE(about_page.animating());
    EXPECT_TRUE(messages.empty()) << messages[0];
    for (int i = 0; i < QAboutDlg::kFrames; ++i)
        EXPECT_TRUE(about_page.frame(i).loaded()) << i;
    EXPECT_EQ(about_page.picture_width() % 4, 0);
    EXPECT_EQ(about_page.picture_height() % 4, 0);
    EXPECT_GE(about_page.picture_width(), 400);
    RECT client{};
    GetClientRect(about_page.item(QAboutDlg::kPicture), &client);
    EXPECT_EQ(client.right, about_page.picture_width());
    EXPECT_EQ(client.bottom, about_page.picture_height());

    ASSERT_TRUE(steps_pass(20));
    const Picture first = screen_picture();
    ASSERT_TRUE(steps_pass(20)) << "the timer draws about 100 a second";
    const Picture second = screen_picture();
    EXPECT_LE(about_page.frame_rate(), 101);
    ASSERT_EQ(first.pixels.size(), second.pixels.size());
    size_t changed = 0;
    for (size_t i = 0; i < first.pixels.size(); ++i)
        changed += first.pixels[i] != second.pixels[i];
    EXPECT_GT(changed, first.pixels.size() / 20) << "the picture did not move";
    // The stripes: red 112 and blue 208 with a green of 32 to 96, in the top row left of the
    // sprite and the version text.
    for (int x = 0; x < 8; ++x) {
        const uint32_t p = second.at(x, 0);
        const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
        EXPECT_NEAR(r, 112, 8) << x;
        EXPECT_NEAR(b, 208, 8) << x;
        EXPECT_GE(g, 24) << x;
        EXPECT_LE(g, 100) << x;
    }
    const std::string text = log();
    EXPECT_NE(text.find("QAboutDlg: Has been SetActive()"), std::string::npos) << text;
    EXPECT_NE(text.find("+++++OK: SetColorKey successed."), std::string::npos) << text;
    EXPECT_NE(text.find("m_picframe: wd("), std::string::npos) << text;
    EXPECT_EQ(text.find("*****Error"), std::string::npos) << text;

    ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    EXPECT_FALSE(directx.dd_open);
    EXPECT_FALSE(about_page.animating());
    const long stopped = about_page.frame_count();
    settle(300);
    EXPECT_EQ(about_page.frame_count(), stopped);
    EXPECT_FALSE(KillTimer(about_page.hwnd(), QAboutDlg::kTimer)) << "the timer still runs";
    EXPECT_NE(log().find("已经CleanDirectX()"), std::string::npos);

    // Back again: from frame 0, on a new connection.
    ASSERT_TRUE(property_sheet.set_active_page(kAboutPageIndex));
    EXPECT_LT(about_page.frame_count(), 3);
    EXPECT_TRUE(steps_pass(3));
    // A lost surface sends the sheet to the options page and posts the page its message, which
    // brings it back animating anew.
    ASSERT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
    EXPECT_FALSE(directx.dd_open);
    PostMessageW(about_page.hwnd(), QAboutDlg::kSurfaceLost, 0, 0);
    EXPECT_TRUE(pump_until([] { return property_sheet.active_index() == kAboutPageIndex; }, kWait));
    EXPECT_NE(log().find("AboutDlg: --------- Get WM_ABOUTSURFACELOST!"), std::string::npos);
    EXPECT_TRUE(about_page.animating());
}

TEST_F(About, SiteLineAndButtonsReachTheShell) {
    BrowserRedirect browser;
    ASSERT_TRUE(browser.ok());
    ASSERT_TRUE(property_sheet.set_active_page(kAboutPageIndex));
    const int w = about_page.picture_width(), h = about_page.picture_height();
    SendMessageW(about_page.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w - 380, h));
    EXPECT_FALSE(about_page.site_hot());
    SendMessageW(about_page.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(w - 379, h));
    EXPECT_TRUE(about_page.site_hot());
    SendMessageW(about_page.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(w - 379, h));
    EXPECT_FALSE(about_page.site_hot());
    std::string noted;
    EXPECT_TRUE(driver::wait_until(
        [&] { return !(noted = driver::read_file(BrowserRedirect::log()).value_or("")).empty(); },
        kWait));
    EXPECT_EQ(noted, "http://127.0.0.1:8642/\n");

    DeleteFileW(BrowserRedirect::log().c_str());
    SendMessageW(about_page.item(QAboutDlg::kSupportButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(driver::wait_until(
        [&] { return !(noted = driver::read_file(BrowserRedirect::log()).value_or("")).empty(); },
        kWait));
    EXPECT_EQ(noted, "http://127.0.0.1:8642/contact\n");

    // The help file's default topic; without the file the user is told where it was looked for.
    ScopedInstallDir elsewhere("c:\\no-such-kalvit");
    SendMessageW(about_page.item(QAboutDlg::kHelpButton), BM_CLICK, 0, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::string("找不到帮助文件 ") + install_dir + "\\kalvit.chm");
}

TEST_F(About, HiddenKeysShowTheAuthorTextOncePerPressOneBoxAtATime) {
    ASSERT_TRUE(property_sheet.set_active_page(kAboutPageIndex));
    set_message_presenter(slow_message);
    deepest_box = 0;
    for (size_t press = 1; press <= 2; ++press) {
        {
            HeldKeys keys;
            ASSERT_TRUE(pump_until([&] { return messages.size() >= press; }, kWait))
                << "press " << press << " was not seen";
            // Held on, the steps go on and no second box comes.
            ASSERT_TRUE(steps_pass(30));
        }
        ASSERT_TRUE(steps_pass(5)) << "the keys let go";
    }
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(deepest_box, 1) << "a second box opened over the first";
    EXPECT_EQ(messages[0], "kalvit 开发组");
}

} // namespace
