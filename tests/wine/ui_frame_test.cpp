#include <gtest/gtest.h>

#include <memory>

#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"
// The running program seen from outside: frame, sheet, tabs and pages, and a second copy.
// One start serves the whole suite, since every start of the program costs seconds.

namespace {

constexpr int kTestSlogan = 1082;
constexpr int kCompareStore = 1031;
constexpr int kOptionsPreTest = 1060;
constexpr int kInfoPicture = 1068;
constexpr int kStartButton = 32771;
constexpr int kStopButton = 32772;
constexpr int kHelpButton = 1039;

struct Running {
    driver::ProfileGuard profile;
    std::optional<driver::Installation> inst;
    std::optional<driver::Process> process;
    HWND frame = nullptr;
    HWND sheet = nullptr;
};

class RunningProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        run_ = std::make_unique<Running>();
        run_->inst = uitest::prepare(L"frame");
        if (!run_->inst)
            return;
        run_->process = uitest::start(*run_->inst);
        if (!run_->process)
            return;
        run_->frame = uitest::wait_for_frame(*run_->process);
        if (run_->frame != nullptr)
            run_->sheet = driver::find_sheet(run_->frame);
    }

    static void TearDownTestSuite() {
        if (run_->frame != nullptr) {
            driver::close_window(run_->frame);
            run_->process->wait_exit(driver::kStepTimeoutMs);
        }
        run_.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(run_->process.has_value());
        ASSERT_NE(run_->frame, nullptr) << "no visible CMainFrame window appeared";
        ASSERT_NE(run_->sheet, nullptr) << "the frame holds no single qPropertySheet child";
    }

    static std::unique_ptr<Running> run_;
};
std::unique_ptr<Running> RunningProgram::run_;

TEST_F(RunningProgram, TitleIsTheVersionLineOfTheConfiguration) {
    const std::string version = uitest::config_value(*run_->inst, "[VERSIONINFO]");
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(driver::window_text_gbk(run_->frame), version);
}

TEST_F(RunningProgram, FrameIsFixedSizeAndCentred) {
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(run_->frame, &frame));
    const int screen_w = GetSystemMetrics(SM_CXSCREEN);
    const int screen_h = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(frame.right - frame.left, 640);
    EXPECT_EQ(frame.left, screen_w / 2 - 320);

    // Start-up makes the frame 470 high, centred again, when the test page's bottom line sits
    // more than 395 pixels below the frame's top (large system fonts).
    HWND slogan = driver::find_descendant(run_->sheet, nullptr, kTestSlogan);
    ASSERT_NE(slogan, nullptr);
    RECT line{};
    ASSERT_TRUE(GetWindowRect(slogan, &line));
    if (line.top - frame.top > 395) {
        EXPECT_EQ(frame.bottom - frame.top, 470);
        EXPECT_EQ(frame.top, (screen_h - 470) / 2);
    } else {
        EXPECT_EQ(frame.bottom - frame.top, 440);
        EXPECT_EQ(frame.top, screen_h / 2 - 220);
    }

    const LONG style = GetWindowLongW(run_->frame, GWL_STYLE);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_EQ(GetMenu(run_->frame), nullptr);
}

TEST_F(RunningProgram, SheetFillsTheFrameWithFourTabsInOrder) {
    EXPECT_EQ(driver::window_text_gbk(run_->sheet), "Kalvit Sheet");
    const LONG style = GetWindowLongW(run_->sheet, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_BORDER);
    EXPECT_TRUE(IsWindowVisible(run_->sheet));

    RECT client{};
    RECT sheet{};
    ASSERT_TRUE(GetClientRect(run_->frame, &client));
    ASSERT_TRUE(GetWindowRect(run_->sheet, &sheet));
    MapWindowPoints(HWND_DESKTOP, run_->frame, reinterpret_cast<POINT*>(&sheet), 2);
    EXPECT_EQ(sheet.left, client.left);
    EXPECT_EQ(sheet.top, client.top);
    EXPECT_EQ(sheet.right, client.right);
    EXPECT_EQ(sheet.bottom, client.bottom);

    HWND tab = driver::find_tab_control(run_->sheet);
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(driver::tab_count(tab), 4);
    const char* expected[] = {"   测试页   ", "   比较页   ", "选项设置", "软件信息"};
    for (int i = 0; i < 4; ++i) {
        std::optional<std::wstring> caption = driver::tab_caption(tab, i);
        ASSERT_TRUE(caption.has_value()) << "tab " << i;
        EXPECT_EQ(to_gbk(*caption), expected[i]) << "tab " << i;
    }
}

TEST_F(RunningProgram, EachTabShowsItsPage) {
    HWND tab = driver::find_tab_control(run_->sheet);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(driver::tab_selection(tab), 0) << "start-up ends on the test page";
    EXPECT_NE(driver::find_descendant(run_->sheet, nullptr, kOptionsPreTest), nullptr)
        << "start-up sets the standard options, so the options page exists already";

    struct Expect {
        int index;
        int control_id;
    };
    HWND pages[4] = {};
    for (Expect page : {Expect{1, kCompareStore}, Expect{2, kOptionsPreTest},
                        Expect{3, kInfoPicture}, Expect{0, kTestSlogan}}) {
        pages[page.index] = driver::select_page(run_->sheet, page.index, page.control_id);
        ASSERT_NE(pages[page.index], nullptr)
            << "tab " << page.index << " shows no page with control " << page.control_id;
        EXPECT_EQ(driver::class_name(pages[page.index]), L"#32770");
        EXPECT_EQ(GetParent(pages[page.index]), run_->sheet);
    }
    EXPECT_EQ(driver::window_text_gbk(GetDlgItem(pages[0], kTestSlogan)),
              "——温和、细致、体贴是我们的风格！");
    EXPECT_EQ(driver::window_text_gbk(GetDlgItem(pages[2], kOptionsPreTest)),
              "启动程序时进行预备测试（测试时间更确定）");
    // Pages keep their windows: showing one again brings back the same dialog.
    EXPECT_EQ(driver::select_page(run_->sheet, 2, kOptionsPreTest), pages[2]);
    EXPECT_EQ(driver::select_page(run_->sheet, 0, kTestSlogan), pages[0]);
}

// Start-up lists the screen's display modes into the options page and closes the connection
// again; the page preselects 1024 × 768 at 16 bits.
TEST_F(RunningProgram, OptionsPageListsTheDisplayModesAndPreselectsTheStandardOne) {
    HWND options = driver::select_page(run_->sheet, 2, kOptionsPreTest);
    ASSERT_NE(options, nullptr);
    HWND list = GetDlgItem(options, 1072);
    const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    ASSERT_GT(count, 0);
    const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    ASSERT_NE(selected, CB_ERR);
    std::string listed;
    bool standard_listed = false;
    std::wstring chosen;
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        ASSERT_LT(SendMessageW(list, CB_GETLBTEXTLEN, i, 0), 64);
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        int width = 0, height = 0, bits = 0;
        ASSERT_EQ(swscanf(text, L"%dX%d %dbit", &width, &height, &bits), 3) << to_gbk(text);
        EXPECT_TRUE(width >= 640 && height >= 480 && bits > 14) << to_gbk(text);
        listed += to_gbk(text) + "\n";
        standard_listed = standard_listed || std::wstring(text).rfind(L"1024X768 16bit ", 0) == 0;
        if (i == selected)
            chosen = text;
    }
    // The standard mode is preselected wherever the display lists it; Wine's 32-bit prefix
    // lists no 16-bit modes.
    if (standard_listed) {
        EXPECT_EQ(chosen.rfind(L"1024X768 16bit ", 0), 0u) << to_gbk(chosen) << " of\n" << listed;
    }
    const std::vector<std::string> log = driver::read_log_lines(run_->inst->log());
    EXPECT_TRUE(driver::has_line(log, "...... 已经CleanDirectX() ......"));
    EXPECT_NE(driver::select_page(run_->sheet, 0, kTestSlogan), nullptr);
}

TEST_F(RunningProgram, SecondCopyEndsAtOnceAndLeavesTheFirstAlone) {
    const std::wstring title = driver::window_text(run_->frame);
    std::optional<driver::Process> second = driver::Process::start(
        run_->inst->exe(), L"", run_->inst->dir, run_->inst->dir + L"\\second.log");
    ASSERT_TRUE(second.has_value());
    driver::ExitWatch watch = driver::watch_until_exit(*second, driver::kStepTimeoutMs);
    ASSERT_TRUE(watch.exit_code.has_value()) << "the second copy is still running";
    EXPECT_EQ(*watch.exit_code, 0u);
    for (const auto& seen : watch.windows)
        ADD_FAILURE() << "the second copy showed a " << to_gbk(seen.window_class) << " window \""
                      << to_gbk(seen.text) << "\"";

    EXPECT_TRUE(run_->process->running());
    EXPECT_TRUE(driver::responding(run_->frame));
    EXPECT_TRUE(IsWindowVisible(run_->frame));
    EXPECT_EQ(driver::window_text(run_->frame), title);
}

// The keyboard focus of the program's one thread.
HWND focus_of(HWND frame) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

void post_key(HWND hwnd, UINT key) {
    PostMessageW(hwnd, WM_KEYDOWN, key, 1);
    PostMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
}

// Enter, Space and Esc on the test page's stop button act like a click on it: the page handles
// them, so the command 32772 never reaches the frame, which would select the comparison page.
TEST_F(RunningProgram, KeysOnTheTestPageStayOnTheTestPage) {
    HWND tab = driver::find_tab_control(run_->sheet);
    ASSERT_NE(tab, nullptr);
    HWND page = driver::select_page(run_->sheet, 0, kTestSlogan);
    ASSERT_NE(page, nullptr);
    HWND start = GetDlgItem(page, kStartButton);
    HWND stop = GetDlgItem(page, kStopButton);
    HWND help = GetDlgItem(page, kHelpButton);
    ASSERT_TRUE(start != nullptr && stop != nullptr && help != nullptr);
    // The frame may not be active yet on a loaded machine; the focus moves only once it is.
    ASSERT_TRUE(driver::wait_until(
        [&] {
            if (focus_of(run_->frame) == start)
                return true;
            SetForegroundWindow(run_->frame);
            SendMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(start), TRUE);
            return focus_of(run_->frame) == start;
        },
        driver::kStepTimeoutMs));

    post_key(start, VK_TAB);
    ASSERT_TRUE(driver::wait_until([&] { return focus_of(run_->frame) == stop; },
                                   driver::kStepTimeoutMs))
        << "Tab does not go from the start button to the stop button";
    for (UINT key : {VK_RETURN, VK_SPACE, VK_ESCAPE})
        post_key(stop, key);
    // Tab again, past the disabled analysis button: once the focus is on help, the keys before
    // it have been handled.
    post_key(stop, VK_TAB);
    ASSERT_TRUE(driver::wait_until([&] { return focus_of(run_->frame) == help; },
                                   driver::kStepTimeoutMs));
    EXPECT_EQ(driver::tab_selection(tab), 0);
    EXPECT_TRUE(IsWindowVisible(page));
    EXPECT_TRUE(IsWindowVisible(run_->frame));
    EXPECT_TRUE(driver::responding(run_->frame));
}

} // namespace
