// The real frame, sheet and pages inside the test process, with the program's own templates:
// what they do while a test runs and after, and the message services they rely on.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "engine/model.h"
#include "engine/run_flags.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "shell/msg_pump.h"
#include "shell/msgbox.h"
#include "shell/sheet.h"
#include "tests/read_all.h"
#include "tests/wine/window_test_support.h"
#include "ui/app.h"
#include "ui/text.h"

namespace {

// One frame with its sheet for the whole suite: the frame is a single process-wide object.
class Frame : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::App::set_instance(GetModuleHandleW(nullptr));
        ASSERT_TRUE(main_frame.create());
        ASSERT_TRUE(create_property_sheet(main_frame.hwnd()));
        property_sheet.set_active_page(kSetupPageIndex);
        setup_page.set_start_options(1);
        RECT client{};
        GetClientRect(main_frame.hwnd(), &client);
        property_sheet.move_to(client);
        property_sheet.set_active_page(kTestPageIndex);
        ShowWindow(property_sheet.hwnd(), SW_SHOW);
        ShowWindow(main_frame.hwnd(), SW_SHOW);
        pump();
    }
    void SetUp() override {
        log_ = std::tmpfile();
        log_attach(log_);
    }
    void TearDown() override {
        test_running = 0;
        log_close();
        std::fclose(log_);
    }
    FILE* log_ = nullptr;
};

TEST_F(Frame, DuringATestNothingMovesTheUserAway) {
    ASSERT_EQ(property_sheet.active_index(), kTestPageIndex);
    test_running = 1;

    // Tab clicks and page selections are refused; so are the pages that must not open.
    click_tab(property_sheet.tab(), kComparePageIndex);
    EXPECT_EQ(property_sheet.active_index(), kTestPageIndex);
    EXPECT_EQ(SendMessageW(property_sheet.tab(), TCM_GETCURSEL, 0, 0), kTestPageIndex);
    EXPECT_FALSE(property_sheet.set_active_page(kSetupPageIndex));
    EXPECT_FALSE(property_sheet.set_active_page(kAboutPageIndex));
    SendMessageW(main_frame.hwnd(), WM_COMMAND, CMainFrame::kComparePage, 0);
    EXPECT_EQ(property_sheet.active_index(), kTestPageIndex);

    // System commands are discarded and closing is refused.
    SendMessageW(main_frame.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsIconic(main_frame.hwnd()));
    SendMessageW(main_frame.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(main_frame.hwnd()));
    std::string log = read_all(log_);
    EXPECT_NE(log.find("\nTesting! Discard WM_SYSCOMMAND F020"), std::string::npos) << log;
    EXPECT_NE(log.find("\nTest is running ! wait......"), std::string::npos) << log;

    // The stop button only asks the running test to stop.
    stop_requested = 0;
    SendMessageW(test_page.item(QTestPage::kStopButton), BM_CLICK, 0, 0);
    EXPECT_EQ(stop_requested, 1);
    test_running = 0;
    stop_requested = 0;
    SendMessageW(test_page.item(QTestPage::kStopButton), BM_CLICK, 0, 0);
    EXPECT_EQ(stop_requested, 0);
}

TEST_F(Frame, AfterATestPagesChangeAndTheFrameMinimizes) {
    click_tab(property_sheet.tab(), kComparePageIndex);
    EXPECT_EQ(property_sheet.active_index(), kComparePageIndex);
    EXPECT_TRUE(IsWindowVisible(contrast_page.hwnd()));
    SendMessageW(main_frame.hwnd(), WM_COMMAND, CMainFrame::kComparePage, 0);
    EXPECT_EQ(property_sheet.active_index(), kComparePageIndex);
    EXPECT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
    EXPECT_TRUE(setup_page.checked(QSetupPage::kSmallBlocks));
    EXPECT_TRUE(setup_page.checked(QSetupPage::kUnbuffered));
    EXPECT_TRUE(setup_page.checked(QSetupPage::kDefaultMode));
    EXPECT_TRUE(setup_page.checked(QSetupPage::kAverageWeights));
    EXPECT_TRUE(setup_page.checked(QSetupPage::kAutoScale));
    EXPECT_FALSE(setup_page.checked(QSetupPage::kUseSse));
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
    bool owned_by_frame = false;
    std::string text;
};

template <class ShowBox> SeenBox answer_box(HWND welcome, ShowBox show) {
    SeenBox seen;
    std::thread answer([&] {
        HWND box = nullptr;
        for (int i = 0; i < 200 && box == nullptr; ++i) {
            Sleep(25);
            box = FindWindowW(L"#32770", L"kalvit");
        }
        if (box == nullptr)
            return;
        seen.found = true;
        seen.welcome_visible = IsWindowVisible(welcome) != FALSE;
        seen.cancel_button =
            GetDlgItem(box, IDCANCEL) != nullptr || GetDlgItem(box, IDNO) != nullptr;
        seen.owned_by_frame = GetWindow(box, GW_OWNER) == main_frame.hwnd();
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
    EXPECT_TRUE(plain.owned_by_frame);
    EXPECT_EQ(plain.text, "Can't locate memory for 100%!");
    EXPECT_TRUE(IsWindowVisible(welcome));

    welcome_window = nullptr;
    DestroyWindow(welcome);
    set_message_presenter(nullptr);
    set_plain_message_presenter(nullptr);
}

TEST_F(Frame, PumpDeliversPostedMessagesAndKeepsTheQuitMessage) {
    static int delivered = 0;
    delivered = 0;
    SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
        ++delivered;
        KillTimer(nullptr, id);
    });
    Sleep(30);
    QMsgPump();
    EXPECT_EQ(delivered, 1);

    PostQuitMessage(7);
    QMsgPump();
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

} // namespace
