// The real frame, sheet and pages inside the test process, with the program's own templates:
// what they do while a test runs and after, and the message services they rely on.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "engine/directx.h"
#include "engine/model.h"
#include "engine/run_flags.h"
#include "shell/msg_pump.h"
#include "shell/msgbox.h"
#include "shell/profile.h"
#include "tests/wine/frame_fixture.h"
#include "ui/dialog.h"
#include "ui/text_api.h"

namespace {

// One frame with its sheet for the whole suite: the frame is a single process-wide object.
class Frame : public ::testing::Test {
protected:
    static void SetUpTestSuite() { create_test_frame(); }
    void TearDown() override { test_running = 0; }
    TestLog log_;
};

TEST_F(Frame, AfterATestPagesChangeAndTheFrameMinimizes) {
    click_tab(property_sheet.tab(), kComparePageIndex);
    EXPECT_EQ(property_sheet.active_index(), kComparePageIndex);
    EXPECT_TRUE(IsWindowVisible(contrast_page.hwnd()));
    SendMessageW(main_frame.hwnd(), WM_COMMAND, CMainFrame::kComparePage, 0);
    EXPECT_EQ(property_sheet.active_index(), kComparePageIndex);
    EXPECT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
    // The auto-scaling flag follows its box.
    SendMessageW(setup_page.item(QSetupPage::kAutoScale), BM_CLICK, 0, 0);
    EXPECT_EQ(auto_scale, 0);
    SendMessageW(setup_page.item(QSetupPage::kAutoScale), BM_CLICK, 0, 0);
    EXPECT_EQ(auto_scale, 1);
    EXPECT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    EXPECT_FALSE(IsWindowEnabled(test_page.item(QTestPage::kAnalysisButton)))
        << "no run has finished yet";
    results_ready = 1;
    EXPECT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    EXPECT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kAnalysisButton)));
    results_ready = 0;

    SendMessageW(main_frame.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    pump();
    EXPECT_TRUE(IsIconic(main_frame.hwnd()));
    SendMessageW(main_frame.hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
    pump();
    EXPECT_FALSE(IsIconic(main_frame.hwnd()));
}

// What a box of the program showed while it was open, found from a second thread and closed
// with its OK button.
struct SeenBox {
    bool found = false;
    bool welcome_visible = false;
    bool cancel_button = false;
    HWND owner = nullptr;
    bool owner_enabled = true;
    std::string text;
};

template <class ShowBox> SeenBox answer_box(HWND welcome, ShowBox show) {
    SeenBox seen;
    TestThread answer([&] {
        HWND box = nullptr;
        // Visible once initialised: the buttons a box does not use are gone by then.
        if (!driver::wait_until(
                [&] {
                    box = FindWindowW(L"#32770", L"kalvit");
                    return box != nullptr && IsWindowVisible(box);
                },
                kWait))
            return;
        seen.found = true;
        seen.welcome_visible = IsWindowVisible(welcome) != FALSE;
        seen.cancel_button =
            GetDlgItem(box, IDCANCEL) != nullptr || GetDlgItem(box, IDNO) != nullptr;
        seen.owner = GetWindow(box, GW_OWNER);
        seen.owner_enabled = IsWindowEnabled(seen.owner) != FALSE;
        seen.text = ui::get_text(GetDlgItem(box, 0xFFFF));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    show();
    answer.join();
    return seen;
}

TEST_F(Frame, MessageBoxesHideTheWelcomeWindowOnlyForQMsgBox) {
    HWND welcome = CreateWindowExW(0, L"STATIC", L"welcome", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(welcome, nullptr);
    welcome_window = welcome;
    install_message_services();

    int shown = 0;
    SeenBox formatted = answer_box(
        welcome, [&] { shown = QMsgBox("无法打开文件\"%s\"!", "c:\\kalvit\\kalvtetc.inf"); });
    EXPECT_EQ(shown, 1);
    ASSERT_TRUE(formatted.found);
    EXPECT_FALSE(formatted.welcome_visible);
    EXPECT_EQ(formatted.text, "无法打开文件\"c:\\kalvit\\kalvtetc.inf\"!");
    EXPECT_TRUE(IsWindowVisible(welcome));

    // The plain box of a failing test: the text as it is, one OK button, the welcome window
    // left alone.
    SeenBox plain = answer_box(welcome, [] { plain_message_box("Can't locate memory for 100%!"); });
    ASSERT_TRUE(plain.found);
    EXPECT_TRUE(plain.welcome_visible);
    EXPECT_FALSE(plain.cancel_button);
    EXPECT_EQ(plain.owner, main_frame.hwnd());
    EXPECT_EQ(plain.text, "Can't locate memory for 100%!");
    EXPECT_TRUE(IsWindowVisible(welcome));

    welcome_window = nullptr;
    DestroyWindow(welcome);
    set_message_presenter(nullptr);
    set_plain_message_presenter(nullptr);
    set_welcome_hooks({});
}

TEST_F(Frame, AMessageBoxBlocksTheModalDialogThatRaisedIt) {
    // The way the score, analysis and account dialogs report a refusal.
    install_message_services();
    ScriptedDialog dialog;
    HWND shown = nullptr;
    SeenBox seen;
    dialog.while_open = [&](ScriptedDialog& self) {
        shown = self.hwnd();
        seen = answer_box(nullptr, [] { QMsgBox("帐号或密码错误！"); });
    };
    EXPECT_EQ(dialog.run(main_frame.hwnd()), IDOK);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.owner, shown) << "owned by the frame, which is disabled";
    EXPECT_FALSE(seen.owner_enabled) << "the dialog stays clickable under the box";
    EXPECT_EQ(seen.text, "帐号或密码错误！");
    set_message_presenter(nullptr);
    set_plain_message_presenter(nullptr);
    set_welcome_hooks({});
}

TEST_F(Frame, EnterAndSpaceOnTheStopButtonStopATest) {
    ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    HWND start = test_page.item(QTestPage::kStartButton);
    HWND stop = test_page.item(QTestPage::kStopButton);
    SetForegroundWindow(main_frame.hwnd());
    SetFocus(start);
    ASSERT_EQ(GetFocus(), start);
    press(VK_TAB);
    ASSERT_EQ(GetFocus(), stop) << "Tab goes from the start button to the stop button";

    // During a test, Enter and Space on the stop button stop it, as a click would.
    for (UINT key : {VK_RETURN, VK_SPACE}) {
        test_running = 1;
        stop_requested = 0;
        press(key);
        EXPECT_EQ(stop_requested, 1) << "key " << key;
        EXPECT_EQ(property_sheet.active_index(), kTestPageIndex) << "key " << key;
    }
    stop_requested = 0;
}

// A window of another thread, to take the activation away from the frame the way another
// program does.
class OtherThreadWindow {
public:
    OtherThreadWindow() {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::make_unique<TestThread>([this, ready] {
            hwnd_ = CreateWindowExW(0, L"STATIC", L"other program", WS_POPUP | WS_VISIBLE, 700,
                                    500, 100, 50, nullptr, nullptr, GetModuleHandleW(nullptr),
                                    nullptr);
            thread_id_ = GetCurrentThreadId();
            SetEvent(ready);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
            DestroyWindow(hwnd_);
        });
        WaitForSingleObject(ready, kWait);
        CloseHandle(ready);
    }
    ~OtherThreadWindow() {
        PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
        thread_->join();
    }
    HWND hwnd() const { return hwnd_; }

private:
    std::unique_ptr<TestThread> thread_;
    HWND hwnd_ = nullptr;
    DWORD thread_id_ = 0;
};

// Brings `hwnd` to the front and lets the frame handle what that sends it.
bool activate(HWND hwnd) {
    SetForegroundWindow(hwnd);
    const bool front = pump_until([hwnd] { return GetForegroundWindow() == hwnd; }, kWait);
    settle(100); // what the change sends the frame
    return front;
}

TEST_F(Frame, DisplaySwitchWatcherFollowsTheFramesActivation) {
    OtherThreadWindow other;
    ASSERT_NE(other.hwnd(), nullptr);
    ASSERT_TRUE(activate(main_frame.hwnd()));

    // Without an open connection, or with an exclusive one, nothing is watched.
    for (int open_exclusive : {0b00, 0b11}) {
        directx.dd_open = open_exclusive >> 1;
        directx.exclusive = open_exclusive & 1;
        switch_step = 0;
        activate(other.hwnd());
        activate(main_frame.hwnd());
        RedrawWindow(main_frame.hwnd(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_EQ(switch_step, 0)
            << "dd_open " << directx.dd_open << " exclusive " << directx.exclusive;
    }

    // An open windowed connection: losing the activation gives the frame's notification (step
    // 1) and the program's deactivation (step 2); the next frame repaint is step 3.
    directx.dd_open = 1;
    directx.exclusive = 0;
    switch_step = 0;
    activate(other.hwnd());
    EXPECT_TRUE(pump_until([] { return switch_step == 2; }, kWait)) << switch_step;
    RedrawWindow(main_frame.hwnd(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(switch_step, 3);
    std::string log = log_.text();
    size_t step1 = log.find("\n-----Step1 to switch property page at ");
    size_t step2 = log.find("\n-----Step2 to switch property page at ");
    size_t step3 = log.find("\n-----Step3: Now starting switch! at ");
    ASSERT_NE(step1, std::string::npos) << log;
    ASSERT_NE(step2, std::string::npos) << log;
    ASSERT_NE(step3, std::string::npos) << log;
    EXPECT_LT(step1, step2);
    EXPECT_LT(step2, step3);
    activate(main_frame.hwnd());
    EXPECT_EQ(switch_step, 3) << "the information page resets the watcher, nothing else";

    // The frame's enabled state counts as much as its activation: a modal box disables it.
    switch_step = 0;
    EnableWindow(main_frame.hwnd(), FALSE);
    EXPECT_EQ(switch_step, 1);
    EnableWindow(main_frame.hwnd(), TRUE);
    directx.dd_open = 0;
    switch_step = 0;
}

int delivered = 0;
VOID CALLBACK count_delivery(HWND, UINT, UINT_PTR id, DWORD) {
    ++delivered;
    KillTimer(nullptr, id);
}

TEST_F(Frame, PumpDeliversPostedMessagesAndKeepsTheQuitMessage) {
    delivered = 0;
    SetTimer(nullptr, 0, 1, count_delivery);
    EXPECT_TRUE(driver::wait_until(
        [] {
            QMsgPump();
            return delivered == 1;
        },
        kWait));

    PostQuitMessage(7);
    QMsgPump();
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

// The close runs once, also when a second close request arrives while it drains messages: sent
// once as the close selects the options page. Left to the last: it ends the suite's frame.
HWND closing_tab = nullptr;
int second_closes = 0;
LRESULT CALLBACK close_again_on_selection(int code, WPARAM wparam, LPARAM lparam) {
    auto* sent = reinterpret_cast<CWPSTRUCT*>(lparam);
    if (code == HC_ACTION && sent->hwnd == closing_tab && sent->message == TCM_SETCURSEL &&
        second_closes == 0) {
        ++second_closes;
        SendMessageW(main_frame.hwnd(), WM_CLOSE, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(Frame, ZzCloseRunsOnceAndStoresThePreTestBox) {
    driver::ProfileGuard profile;
    ASSERT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
    setup_page.set_check(QSetupPage::kPreTest, true);
    ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));

    closing_tab = property_sheet.tab();
    second_closes = 0;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, close_again_on_selection, nullptr,
                                   GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    SendMessageW(main_frame.hwnd(), WM_CLOSE, 0, 0);
    UnhookWindowsHookEx(hook);

    EXPECT_EQ(second_closes, 1) << "the close did not select the options page";
    EXPECT_FALSE(IsWindow(property_sheet.hwnd()));
    EXPECT_EQ(quit_flag, 1);
    EXPECT_EQ(pre_test_flag, 1);
    EXPECT_EQ(driver::profile_dword(L"pre_test_flag"), std::optional<DWORD>(1));
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

} // namespace
