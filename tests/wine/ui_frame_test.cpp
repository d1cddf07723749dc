#include <gtest/gtest.h>

#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"
// The running program seen from outside in one start: frame, sheet, tabs, pages, the display
// modes, the test page's keys and a second copy.

namespace {

constexpr int kTestSlogan = 1082, kCompareStore = 1031, kOptionsPreTest = 1060;
constexpr int kInfoPicture = 1068, kStartButton = 32771, kStopButton = 32772, kHelpButton = 1039;

// The keyboard focus of the program's one thread.
HWND focus_of(HWND frame) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &info) ? info.hwndFocus
                                                                             : nullptr;
}

void post_key(HWND hwnd, UINT key) {
    PostMessageW(hwnd, WM_KEYDOWN, key, 1);
    PostMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
}

using RunningProgram = uitest::UiCase;

TEST_F(RunningProgram, FrameSheetPagesKeysAndASecondCopy) {
    std::optional<driver::Installation> inst = uitest::prepare(L"frame");
    ASSERT_TRUE(inst.has_value());
    std::optional<driver::Process> kalvit = uitest::start(*inst);
    ASSERT_TRUE(kalvit.has_value());
    HWND frame = uitest::wait_for_frame(*kalvit);
    ASSERT_NE(frame, nullptr);
    HWND sheet = driver::find_sheet(frame);
    ASSERT_NE(sheet, nullptr) << "the frame holds no single qPropertySheet child";

    // The title is the configuration's version line; the frame is fixed in size and centred.
    const std::string version = uitest::config_value(*inst, "[VERSIONINFO]");
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(driver::window_text_gbk(frame), version);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(frame, &r));
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 320);
    // 470 high when the test page's last line sits more than 395 pixels below the frame's top.
    RECT line{};
    ASSERT_TRUE(GetWindowRect(driver::find_descendant(sheet, nullptr, kTestSlogan), &line));
    const int height = line.top - r.top > 395 ? 470 : 440;
    EXPECT_EQ(r.bottom - r.top, height);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    const LONG style = GetWindowLongW(frame, GWL_STYLE);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | WS_MINIMIZEBOX | WS_SYSMENU),
              WS_MINIMIZEBOX | WS_SYSMENU);
    EXPECT_EQ(GetMenu(frame), nullptr);

    // The sheet fills the frame's client area, with four tabs in order.
    EXPECT_EQ(driver::window_text_gbk(sheet), "Kalvit Sheet");
    EXPECT_EQ(GetWindowLongW(sheet, GWL_STYLE) & (WS_CHILD | WS_BORDER | WS_VISIBLE),
              WS_CHILD | WS_BORDER | WS_VISIBLE);
    RECT client{}, area{};
    ASSERT_TRUE(GetClientRect(frame, &client));
    ASSERT_TRUE(GetWindowRect(sheet, &area));
    MapWindowPoints(HWND_DESKTOP, frame, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_TRUE(EqualRect(&area, &client));
    HWND tab = driver::find_tab_control(sheet);
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(driver::tab_count(tab), 4);
    const char* captions[] = {"   测试页   ", "   比较页   ", "选项设置", "软件信息"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(to_gbk(driver::tab_caption(tab, i).value_or(L"<none>")), captions[i]) << i;

    // Start-up ends on the test page, with the options page made already; each tab shows its
    // page, and a page shown again is the same dialog.
    EXPECT_EQ(driver::tab_selection(tab), 0);
    EXPECT_NE(driver::find_descendant(sheet, nullptr, kOptionsPreTest), nullptr);
    HWND pages[4] = {};
    for (auto [index, control] : {std::pair{1, kCompareStore}, std::pair{2, kOptionsPreTest},
                                  std::pair{3, kInfoPicture}, std::pair{0, kTestSlogan}}) {
        pages[index] = driver::select_page(sheet, index, control);
        ASSERT_NE(pages[index], nullptr) << "tab " << index;
        EXPECT_EQ(GetParent(pages[index]), sheet);
    }
    EXPECT_EQ(driver::window_text_gbk(GetDlgItem(pages[0], kTestSlogan)),
              "——温和、细致、体贴是我们的风格！");
    EXPECT_EQ(driver::window_text_gbk(GetDlgItem(pages[2], kOptionsPreTest)),
              "启动程序时进行预备测试（测试时间更确定）");
    EXPECT_EQ(driver::select_page(sheet, 2, kOptionsPreTest), pages[2]);

    // The display modes listed, 1024 × 768 at 16 bits preselected where the display has it
    // (Wine's 32-bit prefix has no 16-bit modes), and the connection closed again.
    HWND modes = GetDlgItem(pages[2], 1072);
    const int count = static_cast<int>(SendMessageW(modes, CB_GETCOUNT, 0, 0));
    ASSERT_GT(count, 0);
    const LRESULT selected = SendMessageW(modes, CB_GETCURSEL, 0, 0);
    EXPECT_NE(selected, CB_ERR);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        ASSERT_LT(SendMessageW(modes, CB_GETLBTEXTLEN, i, 0), 64);
        SendMessageW(modes, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        int width = 0, height = 0, bits = 0;
        ASSERT_EQ(swscanf(text, L"%dX%d %dbit", &width, &height, &bits), 3) << to_gbk(text);
        EXPECT_TRUE(width >= 640 && height >= 480 && bits > 14) << to_gbk(text);
        const bool standard = wcsncmp(text, L"1024X768 16bit ", 15) == 0;
        EXPECT_TRUE(!standard || i == selected) << to_gbk(text) << " is not preselected";
    }
    EXPECT_TRUE(driver::has_line(driver::read_log_lines(inst->log()),
                                 "...... 已经CleanDirectX() ......"));

    // Enter, Space and Esc on the stop button stay on the test page (the page handles them, so
    // the command never reaches the frame, which would select the comparison page).
    HWND page = driver::select_page(sheet, 0, kTestSlogan);
    ASSERT_EQ(page, pages[0]);
    HWND start = GetDlgItem(page, kStartButton), stop = GetDlgItem(page, kStopButton);
    HWND help = GetDlgItem(page, kHelpButton);
    // The frame may not be active yet on a loaded machine; the focus moves only once it is.
    ASSERT_TRUE(driver::wait_until(
        [&] {
            if (focus_of(frame) == start)
                return true;
            SetForegroundWindow(frame);
            SendMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(start), TRUE);
            return focus_of(frame) == start;
        },
        driver::kStepTimeoutMs));
    post_key(start, VK_TAB);
    ASSERT_TRUE(driver::wait_until([&] { return focus_of(frame) == stop; }, driver::kStepTimeoutMs))
        << "Tab does not go from the start button to the stop button";
    for (UINT key : {VK_RETURN, VK_SPACE, VK_ESCAPE})
        post_key(stop, key);
    // Tab past the disabled analysis button: on help, the keys before it have been handled.
    post_key(stop, VK_TAB);
    ASSERT_TRUE(driver::wait_until([&] { return focus_of(frame) == help; }, driver::kStepTimeoutMs));
    EXPECT_EQ(driver::tab_selection(tab), 0);
    EXPECT_TRUE(IsWindowVisible(page));

    // A second copy ends at once, shows nothing and leaves the first alone.
    const std::wstring title = driver::window_text(frame);
    std::optional<driver::Process> second =
        driver::Process::start(inst->exe(), L"", inst->dir, inst->dir + L"\\second.log");
    ASSERT_TRUE(second.has_value());
    driver::ExitWatch watch = driver::watch_until_exit(*second, driver::kStepTimeoutMs);
    EXPECT_EQ(watch.exit_code, std::optional<DWORD>(0));
    EXPECT_TRUE(watch.windows.empty()) << to_gbk(driver::describe(watch.windows));
    EXPECT_TRUE(kalvit->running());
    EXPECT_TRUE(driver::responding(frame));
    EXPECT_EQ(driver::window_text(frame), title);

    driver::close_window(frame);
    EXPECT_EQ(kalvit->wait_exit(driver::kStepTimeoutMs), std::optional<DWORD>(0));
}

} // namespace
