// The benchmark run with the real frame, sheet and pages in the test process: runs with work
// amounts of 1, so that every end of a run is reached in a second, and what is done to the
// program while its run drains messages.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <string_view>
#include <vector>

#include "analysis/score_dlg.h"
#include "analysis/welcome_dlg.h"
#include "engine/blit_rules.h"
#include "engine/measure_blit.h"
#include "engine/clock.h"
#include "engine/directx.h"
#include "engine/fpu_control.h"
#include "engine/model.h"
#include "engine/run_flags.h"
#include "engine/run_recording.h"
#include "engine/run_rules.h"
#include "engine/benchmark_run.h"
#include "shell/bench_app.h"
#include "shell/msg_pump.h"
#include "shell/msgbox.h"
#include "sysinfo/cpu_clock.h"
#include "sysinfo/machine_info.h"
#include "sysinfo/machine_info_win.h"
#include "tests/wine/frame_fixture.h"
#include "ui/text_api.h"

namespace {

// Calls each function at every tick of its thread timer until it returns true. The ticks come
// wherever the thread drains messages: in the run's own draining and in a modal dialog's loop.
class Ticks {
public:
    Ticks() = default;
    Ticks(const Ticks&) = delete;
    Ticks& operator=(const Ticks&) = delete;
    ~Ticks() {
        for (auto& [id, fn] : jobs())
            KillTimer(nullptr, id);
        jobs().clear();
    }
    void every(UINT ms, std::function<bool()> fn) { jobs()[SetTimer(nullptr, 0, ms, tick)] = fn; }

private:
    static std::map<UINT_PTR, std::function<bool()>>& jobs() {
        static std::map<UINT_PTR, std::function<bool()>> j;
        return j;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR id, DWORD) {
        auto it = jobs().find(id);
        if (it == jobs().end() || !it->second)
            return;
        std::function<bool()> fn = it->second;
        if (fn()) {
            KillTimer(nullptr, id);
            jobs()[id] = nullptr;
        }
    }
};

// The screen's mode, and the mode a record holds: width, height and bits.
std::vector<int> screen_mode() {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    return {static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
            static_cast<int>(mode.dmBitsPerPel)};
}
std::vector<int> mode_of(const MachineRecord& m) { return {m.ddraw_width, m.ddraw_height, m.ddraw_bits}; }

// A bar's frame in the test page's client coordinates.
RECT bar_rect(int id) {
    RECT bar{};
    GetClientRect(test_page.item(id), &bar);
    MapWindowPoints(test_page.item(id), test_page.hwnd(), reinterpret_cast<POINT*>(&bar), 2);
    return bar;
}
void press_stop() { SendMessageW(test_page.item(QTestPage::kStopButton), BM_CLICK, 0, 0); }

uint32_t rgb_of(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }

// A display that refuses the switch to 1024 × 768 at 16 bits (a 32-bit prefix's does) has it
// reported before the user is asked whether to go on. Those reports are kept apart: they tell of
// the display, not of what a test did.
std::vector<std::string> messages, refusals;
void record_message(const char* text) {
    const bool refusal = std::string_view(text).starts_with("*****Error: SetDisplayMode()失败! ");
    (refusal ? refusals : messages).push_back(text);
}
std::vector<std::string> questions;
bool answer = true;
bool record_question(const char* text) {
    questions.push_back(text);
    return answer;
}

// The rows of the test page: bar frame, absolute box, relative box.
struct Row {
    int k, bar, absolute, relative;
    const char *abs_format, *rel_format;
};
const Row kRows[] = {
    {kIntegerTest, 1009, 1017, 1018, "%6.2f M次/s", "%6.2f"},
    {kFloatTest, 1015, 1022, 1024, "%6.2f M次/s", "%6.2f"},
    {kMemoryTest, 1013, 1019, 1025, "%7.1f MB/s", "%7.2f"},
    {kDiskTest, 1016, 1021, 1026, "%6.2f MB/s", "%6.2f"},
    {kDirectDrawTest, 1014, 1020, 1023, "%7.1f MB/s", "%7.2f"},
};

std::string text_of(int id) { return test_page.item_text(id); }

// Every row's absolute and relative box shows the current system's speed against the base's.
void expect_rows_filled(const std::string& what) {
    for (const Row& r : kRows) {
        const float speed = current_system_entry().speeds[r.k];
        char absolute[64], relative[64];
        std::snprintf(absolute, sizeof absolute, r.abs_format, static_cast<double>(speed));
        std::snprintf(relative, sizeof relative, r.rel_format,
                      static_cast<double>(speed) / machine_list.entries[0].speeds[r.k]);
        EXPECT_GT(speed, 0.0f) << what << ", row " << r.k;
        EXPECT_EQ(text_of(r.absolute), absolute) << what << ", row " << r.k;
        EXPECT_EQ(text_of(r.relative), relative) << what << ", row " << r.k;
    }
}

// The score dialog once it shows, else null.
HWND shown_score_window() {
    HWND score = FindWindowW(L"#32770", L"Tavoli测试结果");
    return score != nullptr && IsWindowVisible(score) ? score : nullptr;
}

// A finished run's score dialog: seen, its blue digits' extent, closed with its button.
struct ScoreSeen {
    int shown = 0;
    bool analysis_enabled_meanwhile = false;
};

class Run : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        set_install_dir(KALVIT_BUILD_DIR);
        // The program's folder, where the DirectDraw error names are looked up.
        std::snprintf(program_dir, sizeof program_dir, "%s",
                      to_gbk(driver::from_unix_path(KALVIT_DATA_DIR)).c_str());
        install_base_system(machine_list);
        create_test_frame();
    }
    void SetUp() override {
        set_message_presenter(record_message);
        set_question_presenter(record_question);
        reset_state();
    }
    // Runs after a pre-test, with the smallest amounts (case 5 keeps them), and the standard
    // options.
    void reset_state() {
        messages.clear();
        refusals.clear();
        questions.clear();
        answer = true;
        pre_test_flag = 0;
        pre_tested = 1;
        times_tripled = 0;
        for (int k = 0; k < kTestCount; ++k)
            m_times[k] = 1;
        ASSERT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
        setup_page.reset_to_standard();
        ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    }
    void TearDown() override {
        set_message_presenter(nullptr);
        set_question_presenter(nullptr);
    }

    // Runs the benchmark as the start button does, answering a score dialog if one comes.
    ScoreSeen run(std::function<bool()> during = nullptr) {
        ScoreSeen seen;
        Ticks ticks;
        ticks.every(20, [&seen] {
            HWND score = shown_score_window();
            if (score == nullptr)
                return false;
            ++seen.shown;
            seen.analysis_enabled_meanwhile =
                IsWindowEnabled(test_page.item(QTestPage::kAnalysisButton)) != FALSE;
            PostMessageW(score, WM_COMMAND, IDCANCEL, 0);
            return false;
        });
        if (during)
            ticks.every(10, during);
        SendMessageW(test_page.item(QTestPage::kStartButton), BM_CLICK, 0, 0);
        pump();
        return seen;
    }

    std::string log() { return log_.text(); }
    TestLog log_;
};

// The lines of `log` that begin with one of `prefixes`, in their order.
std::vector<std::string> lines_starting(const std::string& log, const std::vector<std::string>& prefixes) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find('\n', at);
        std::string line = log.substr(at, end == std::string::npos ? std::string::npos : end - at);
        for (const std::string& p : prefixes)
            if (line.compare(0, p.size(), p) == 0) {
                out.push_back(p);
                break;
            }
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return out;
}

TEST_F(Run, StandardRunFillsEveryRowLogsItsStepsAndShowsTheScore) {
    const int before = run_number;
    results_ready = 0;
    RECT frame_before{}, frame_after{};
    GetWindowRect(main_frame.hwnd(), &frame_before);
    ScoreSeen seen = run();
    GetWindowRect(main_frame.hwnd(), &frame_after);
    EXPECT_TRUE(EqualRect(&frame_before, &frame_after)) << "the frame is back where it stood";
    EXPECT_FALSE(IsIconic(main_frame.hwnd()));
    EXPECT_EQ(directx.dd_open, 0);
    EXPECT_EQ(ddraw_active, 0);
    EXPECT_EQ(run_number, before + 1);
    EXPECT_EQ(test_running, 0);

    const MachineRecord& current = current_system_entry();
    EXPECT_STREQ(current.name, "当前系统");
    EXPECT_EQ(current.option_flags, 0u);
    expect_rows_filled("standard run");
    // The test's mode: 1024 × 768 at 16 bits, or the screen's own mode where the display
    // refused the switch and the test went on.
    const bool kept = directx.mode_kept != 0;
    EXPECT_EQ(questions.size(), kept ? 1u : 0u);
    EXPECT_EQ(refusals.size(), kept ? 1u : 0u);
    EXPECT_EQ(mode_of(current), kept ? screen_mode() : (std::vector<int>{1024, 768, 16}));
    EXPECT_FLOAT_EQ(mark, overall_score(current));

    // The score came once, before the analysis was allowed; afterwards it is.
    EXPECT_EQ(seen.shown, 1);
    EXPECT_FALSE(seen.analysis_enabled_meanwhile);
    EXPECT_EQ(results_ready, 1);
    EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kAnalysisButton)));
    EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kHelpButton)));
    EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kStopButton)));
    EXPECT_TRUE(run_recording.ready());
    EXPECT_EQ(run_recording.dc(), nullptr);

    const std::string text = log();
    std::vector<std::string> steps = {
        "Begin No.", "You Select DD Mode=0", "mem_block=0 , disk_cached=0 , ddraw_mode=0",
        "Float control word2=", "pre_test_flag=0 pre_tested=1 m_times[0]=1",
        "pre_test_flag=0 pre_tested=1 m_times[4]=1", "Integer Test: dtgt=", "Float Test: dtgt=",
        "Memory Test: dtgt=", "-----bef wait2: time=", "-----aft wait: time=",
        "Disk Test: Drive C:", "Disk Test: dtgt=", "Capture screen vertex",
        "...... Begin init DirectX , exclusive=1 ......", "Current display mode: ",
        "src_surface format 1024X768X", "Float control word1=", "Blt Test: dtgt0=",
        "...... 已经CleanDirectX() ......", "Blt Test: dtgt=", "End No."};
    if (kept) {
        // The refused switch closed the first connection; a second one opened in the screen's
        // mode.
        const auto at = std::find(steps.begin(), steps.end(), "Float control word1=");
        steps.insert(at - 1, {"...... 已经CleanDirectX() ......",
                              "...... Begin init DirectX , exclusive=1 ......",
                              "Current display mode: "});
    }
    EXPECT_EQ(lines_starting(text, steps), steps) << text;
    char begin[64];
    std::snprintf(begin, sizeof begin, "\n\nBegin No.%d test at ", run_number);
    EXPECT_NE(text.find(begin), std::string::npos) << text;
    EXPECT_NE(text.find("\n\nEnd No." + std::to_string(run_number) + " test at "), std::string::npos);
    EXPECT_NE(text.find(" , 测试消耗时间："), std::string::npos);
}

// The options page's mode list: entry i of the combo box.
std::string mode_entry(int i) { return ui::combo_item_text(setup_page.item(QSetupPage::kModeList), i); }
int mode_count() {
    return static_cast<int>(SendMessageW(setup_page.item(QSetupPage::kModeList), CB_GETCOUNT, 0, 0));
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(Run, DirectDrawConnectionListsModesNamesErrorsAndClosesOnEveryReport) {
    // Start-up's listing: the current mode's refresh rate, no surfaces, only usable modes.
    HWND list = setup_page.item(QSetupPage::kModeList);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale"));
    run_options.ddraw_mode = 1;
    directx.list_modes = 1;
    directx.exclusive = 0;
    directx.refresh_rate = -1;
    ASSERT_EQ(init_directx(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 16), 1);
    EXPECT_EQ(directx.dd_open, 1);
    EXPECT_EQ(directx.main_surface, nullptr);
    EXPECT_EQ(directx.src_surface, nullptr);
    EXPECT_GE(directx.refresh_rate, 0);
    ASSERT_GT(mode_count(), 0);
    bool standard_mode = false;
    for (int i = 0; i < mode_count(); ++i) {
        const std::string text = mode_entry(i);
        int width = 0, height = 0, bits = 0, refresh = 0;
        ASSERT_GE(parse_mode_text(text.c_str(), width, height, bits, refresh), 3) << text;
        EXPECT_TRUE(width >= 640 && height >= 480 && bits > 14) << text;
        // The screen's own size; Wine's 32-bit prefix lists no 16-bit modes.
        standard_mode |= width == 1024 && height == 768;
    }
    EXPECT_TRUE(standard_mode) << mode_entry(0);
    EXPECT_EQ(CleanDirectX(), 1);
    EXPECT_EQ(CleanDirectX(), 1) << "a second close does nothing";
    EXPECT_EQ(directx.dd, nullptr);
    EXPECT_EQ(directx.dd_open, 0);
    EXPECT_EQ(count_of(log(), "...... 已经CleanDirectX() ......"), 1u);
    directx.list_modes = 0;
    run_options.ddraw_mode = 0;

    // A windowed connection: its three surfaces, the colour conversions in the screen's format,
    // and every report closing it.
    struct Case {
        uint32_t code;
        const char* shown;
    };
    const Case cases[] = {
        {0x887601C2, "m code=887601C2 , error= DDERR_SURFACELOST"},
        {0x8876FFFF, "m code=8876FFFF , error= Unknow DX Error"},
        {0x80004001, "m code=80004001 , error=  DDERR_UNSUPPORTED"},
    };
    for (const Case& c : cases) {
        messages.clear();
        ASSERT_EQ(init_directx(640, 480, 16), 1);
        ASSERT_NE(directx.inf_surface, nullptr);
        ASSERT_NE(directx.src_surface, nullptr);
        EXPECT_EQ(pixel_to_colour(colour_to_pixel(0x00336699)), 0x00336699u);
        GetDxError("m", static_cast<HRESULT>(c.code));
        EXPECT_EQ(messages, std::vector<std::string>{c.shown});
        EXPECT_NE(log().find(c.shown), std::string::npos);
        EXPECT_EQ(directx.dd_open, 0);
        EXPECT_EQ(directx.dd, nullptr);
        EXPECT_EQ(directx.inf_surface, nullptr);
        EXPECT_EQ(directx.src_surface, nullptr);
        EXPECT_EQ(directx.main_surface, nullptr);
    }
    // Without the error file the code goes unnamed, and the connection still closes.
    char saved[kPathSize];
    std::snprintf(saved, sizeof saved, "%s", program_dir);
    std::snprintf(program_dir, sizeof program_dir, "%s", "C:\\no-such-folder");
    messages.clear();
    ASSERT_EQ(init_directx(640, 480, 16), 1);
    GetDxError("m", static_cast<HRESULT>(0x887601C2));
    std::snprintf(program_dir, sizeof program_dir, "%s", saved);
    EXPECT_EQ(messages, std::vector<std::string>{
                            "GetDxError(): Can't open C:\\no-such-folder\\dderr.txt for read!"});
    EXPECT_NE(log().find("GetDxError(): Can't open dderr.txt for read!"), std::string::npos);
    EXPECT_EQ(directx.dd_open, 0);
    EXPECT_EQ(directx.dd, nullptr);
}

TEST_F(Run, ChosenAndCurrentModesAreTheModesTestedAndStored) {
    directx.list_modes = 1;
    run_options.ddraw_mode = 1;
    ASSERT_EQ(init_directx(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 16), 1);
    CleanDirectX();
    directx.list_modes = 0;
    // A listed mode other than the standard one (the virtual screen lists its own size only,
    // at 16 and 32 bits).
    int chosen = -1;
    std::string listed;
    for (int i = 0; i < mode_count(); ++i) {
        listed += mode_entry(i) + "; ";
        if (chosen < 0 && mode_entry(i).rfind("1024X768 16bit ", 0) != 0)
            chosen = i;
    }
    ASSERT_GE(chosen, 0) << "only the standard mode listed: " << listed;
    const std::string entry = mode_entry(chosen);
    int width = 0, height = 0, bits = 0, refresh = directx.refresh_rate;
    parse_mode_text(entry.c_str(), width, height, bits, refresh);
    ASSERT_NE(bits, 16);

    SendMessageW(setup_page.item(QSetupPage::kModeList), CB_SETCURSEL, chosen, 0);
    SendMessageW(setup_page.item(QSetupPage::kChosenMode), BM_CLICK, 0, 0);
    ScoreSeen seen = run();
    const MachineRecord& current = current_system_entry();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(seen.shown, 1) << "the chosen mode keeps the score window";
    EXPECT_EQ(mode_of(current), (std::vector<int>{width, height, bits}));
    EXPECT_EQ(directx.refresh_rate, refresh);
    EXPECT_GT(current.speeds[kDirectDrawTest], 0.0f);
    const std::string text = log();
    char selected[64];
    std::snprintf(selected, sizeof selected, "Init DD use select:%dX%dX%d %d", width, height,
                  bits, refresh);
    EXPECT_NE(text.find(selected), std::string::npos) << text;
    std::snprintf(selected, sizeof selected, "src_surface format %dX%dX%d", width, height, bits);
    EXPECT_NE(text.find(selected), std::string::npos);

    // The current mode: the screen's size and bits, without a switch. With 4 KB blocks no score
    // window comes to repaint the page: the five bars are there because the run painted them
    // again after the full-screen mode.
    reset_state();
    SendMessageW(setup_page.item(QSetupPage::kCurrentMode), BM_CLICK, 0, 0);
    SendMessageW(setup_page.item(QSetupPage::kBigBlocks), BM_CLICK, 0, 0);
    EXPECT_EQ(run().shown, 0);
    const Picture page = capture(test_page.hwnd());
    for (const Row& r : kRows) {
        const RECT bar = bar_rect(r.bar);
        EXPECT_NE(page.at((bar.left + bar.right) / 2, (bar.top + bar.bottom) / 2),
                  rgb_of(GetSysColor(COLOR_BTNFACE)))
            << "bar " << r.k;
    }
    EXPECT_EQ(mode_of(current), screen_mode());
    EXPECT_EQ(messages.size(), 0u);
    EXPECT_GT(current.speeds[kDirectDrawTest], 0.0f);
}

TEST_F(Run, RefusedDisplayModeAsksThenEndsTheRunOrGoesOnInTheScreensMode) {
    HWND list = setup_page.item(QSetupPage::kModeList);
    const LRESULT bogus = SendMessageW(list, CB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(L"1234X777 16bit 默认刷新率"));
    RECT before{}, after{};
    GetWindowRect(main_frame.hwnd(), &before);
    for (bool yes : {false, true}) {
        reset_state();
        answer = yes;
        results_ready = 0;
        current_system_entry().speeds[kDirectDrawTest] = 0.0f;
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(bogus), 0);
        SendMessageW(setup_page.item(QSetupPage::kChosenMode), BM_CLICK, 0, 0);
        run();
        GetWindowRect(main_frame.hwnd(), &after);
        EXPECT_EQ(questions, std::vector<std::string>{"继续进行测试吗？"}) << yes;
        EXPECT_TRUE(messages.empty()) << messages[0];
        ASSERT_EQ(refusals.size(), 1u) << yes;
        EXPECT_EQ(refusals[0].rfind("*****Error: SetDisplayMode()失败!  code=", 0), 0u);
        EXPECT_EQ(test_running, 0);
        EXPECT_EQ(ddraw_active, 0);
        EXPECT_EQ(directx.dd_open, 0);
        EXPECT_TRUE(EqualRect(&before, &after)) << yes;
        EXPECT_FALSE(IsIconic(main_frame.hwnd()));
        EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kHelpButton)));
        const MachineRecord& current = current_system_entry();
        if (!yes) {
            EXPECT_NE(log().find("*****Error: init_directx() failed!"), std::string::npos);
            EXPECT_EQ(results_ready, 0);
            EXPECT_EQ(current.speeds[kDirectDrawTest], 0.0f);
        } else {
            // A fresh connection in the screen's mode, which the entry then holds.
            EXPECT_EQ(results_ready, 1);
            EXPECT_GT(current.speeds[kDirectDrawTest], 0.0f);
            EXPECT_EQ(mode_of(current), screen_mode());
        }
    }
    SendMessageW(list, CB_DELETESTRING, static_cast<WPARAM>(bogus), 0);
    // The program is as usable as before: the next standard run measures all five.
    reset_state();
    run();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(results_ready, 1);
    EXPECT_GT(current_system_entry().speeds[kDirectDrawTest], 0.0f);
}

TEST_F(Run, OptionsDecideTheFlagsAndTheScoreWindow) {
    struct Case {
        const char* what;
        std::vector<int> on;
        uint32_t flags;
    };
    const Case cases[] = {
        {"4K blocks", {QSetupPage::kBigBlocks}, 0x1},
        {"buffered disk", {QSetupPage::kBuffered}, 0x10},
        {"3DNow! and SSE", {QSetupPage::kUse3dnow, QSetupPage::kUseSse}, 0x1000},
    };
    for (const Case& c : cases) {
        reset_state();
        for (int id : c.on)
            SendMessageW(setup_page.item(id), BM_CLICK, 0, 0);
        EXPECT_EQ(run().shown, 0) << c.what;
        EXPECT_EQ(current_system_entry().option_flags, c.flags) << c.what;
        EXPECT_EQ(m_times[kFloatTest], 1) << c.what;
        EXPECT_EQ(results_ready, 1) << c.what;
        const bool both = c.on.size() == 2;
        EXPECT_EQ(messages.size(), both ? 1u : 0u) << c.what;
        if (both) {
            EXPECT_EQ(messages[0], "不允许同时使用SSE和3DNOW! \n现在仅使用SSE进行测试。");
            EXPECT_FALSE(setup_page.checked(QSetupPage::kUse3dnow));
            EXPECT_TRUE(setup_page.checked(QSetupPage::kUseSse));
            EXPECT_NE(log().find("amd_3dnow=1 , intel_sse=1"), std::string::npos)
                << "the options line shows what was chosen";
        }
    }
    // Three times keeps the score; it triples the amounts once and keeps them, and off again
    // divides them once.
    reset_state();
    m_times[kIntegerTest] = 2;
    SendMessageW(setup_page.item(QSetupPage::kTripleAmount), BM_CLICK, 0, 0);
    EXPECT_EQ(run().shown, 1);
    EXPECT_EQ(current_system_entry().option_flags, 0u);
    run();
    EXPECT_EQ(m_times[kIntegerTest], 6);
    SendMessageW(setup_page.item(QSetupPage::kStandardButton), BM_CLICK, 0, 0);
    run();
    EXPECT_EQ(m_times[kIntegerTest], 2);
    EXPECT_EQ(times_tripled, 0);
}

TEST_F(Run, StopDuringTheIntegerTestStoresZeroAndShowsNoScore) {
    mark = 0.5f;
    m_times[kIntegerTest] = 60; // a few hundred milliseconds of integer work
    current_system_entry().speeds[kDiskTest] = 7.0f;
    ui::set_text(test_page.item(1021), "earlier");
    // Stopped once the integer bar has begun to fill, from the run's own draining after a pass.
    const uint32_t face = rgb_of(GetSysColor(COLOR_BTNFACE));
    bool partly_filled = false;
    ScoreSeen seen = run([&] {
        if (!test_running)
            return false;
        const RECT bar = bar_rect(1009);
        ui::WindowDc dc(test_page.hwnd());
        const int y = (bar.top + bar.bottom) / 2;
        // The last run's full bar stays until this run has redrawn the page.
        if (rgb_of(GetPixel(dc.get(), bar.left + 1, y)) == face ||
            rgb_of(GetPixel(dc.get(), bar.right - 2, y)) != face)
            return false;
        partly_filled = true;
        press_stop();
        return true;
    });
    EXPECT_TRUE(partly_filled) << "the bar grows pass by pass";
    const MachineRecord& current = current_system_entry();
    EXPECT_EQ(current.speeds[kIntegerTest], 0.0f);
    EXPECT_EQ(current.speeds[kFloatTest], 0.0f);
    EXPECT_EQ(current.speeds[kMemoryTest], 0.0f);
    EXPECT_EQ(current.speeds[kDiskTest], 7.0f) << "the run ends after the memory test";
    EXPECT_EQ(text_of(1017), "  0.00 M次/s");
    EXPECT_EQ(text_of(1018), "  0.00");
    EXPECT_EQ(text_of(1021), "earlier");
    EXPECT_EQ(seen.shown, 0);
    EXPECT_EQ(mark, 0.5f);
    EXPECT_FALSE(run_recording.ready()) << "a stopped run leaves no picture";
    EXPECT_EQ(log().find("Disk Test"), std::string::npos);
}

// Ten stops, two aimed at each test: one as it begins (the gap after the test before it), one
// inside it at a moment drawn with a fixed seed (the DirectDraw test's at its frames). Every
// stopped run gives the program back, leaves no disk test file and the screen's own mode, and
// the next run is complete.
TEST_F(Run, AStopAtAnyMomentLeavesTheProgramReadyForACompleteRun) {
    // After the line that ends the test before it, each test is under way; the DirectDraw test
    // draws its frames once its connection is open.
    const char* const kBegun[] = {"pre_test_flag=0 pre_tested=1 m_times[4]=", "Integer Test: dtgt=",
                                  "Float Test: dtgt=", "Memory Test: dtgt=", "Float control word1="};
    const std::vector<int> mode = screen_mode();
    const std::wstring disk_file = L"c:\\kalvit.tmp";
    // Amounts that make each test's timed work last about 150 ms: a 40th of the base system's
    // time from a complete run's speeds, then scaled by the times that run logs.
    ASSERT_EQ(run().shown, 1);
    int amounts[kTestCount];
    for (int k = 0; k < kTestCount; ++k)
        m_times[k] = amounts[k] = std::clamp(
            static_cast<int>(current_system_entry().speeds[k] / machine_list.entries[0].speeds[k] *
                             0.5f) + 1, 1, 999);
    // A net time too short to measure is logged as 1000000: that amount is raised and tried again.
    const char* const kTimes[] = {"Integer Test: dtgt=", "Float Test: dtgt=", "Memory Test: dtgt=",
                                  "Disk Test: dtgt=", "Blt Test: dtgt0="};
    // Three tries at most: the landings below tell whether the stops were spread well.
    for (int tries = 0, settled = 0; tries < 3 && !settled; ++tries) {
        ASSERT_EQ(run().shown, 1);
        const std::string timed = log();
        settled = 1;
        for (int i = 0; i < kRunOrderCount; ++i) {
            const size_t at = timed.rfind(kTimes[i]);
            ASSERT_NE(at, std::string::npos) << kTimes[i];
            const int ms = std::max(1, std::atoi(timed.c_str() + at + std::strlen(kTimes[i])));
            int& amount = m_times[kRunOrder[i]];
            settled = settled && ms >= 75 && ms <= 400;
            amount = ms >= 1000000 ? amount * 4 : static_cast<int>(amount * 150LL / ms);
            amounts[kRunOrder[i]] = amount = std::clamp(amount, 1, 999);
        }
    }
    std::mt19937 random(20261209);
    int landed[kRunOrderCount] = {}, in_frames = 0;
    for (int i = 0; i < 2 * kRunOrderCount; ++i) {
        const int aim = i % kRunOrderCount;
        const DWORD delay =
            i < kRunOrderCount ? 0 : std::uniform_int_distribution<DWORD>(20, 120)(random);
        const std::string what = "stop " + std::to_string(i) + " aimed at test " +
                                 std::to_string(aim) + " +" + std::to_string(delay) + " ms";
        log_.restart();
        reset_state();
        results_ready = 0;
        for (int k = 0; k < kTestCount; ++k)
            m_times[k] = amounts[k];
        DWORD begun_at = 0;
        int at = -1;
        const DWORD started = GetTickCount();
        ScoreSeen seen = run([&] {
            if (!test_running)
                return false;
            const std::string text = log();
            if (begun_at == 0) {
                if (text.find(kBegun[aim]) == std::string::npos)
                    return false;
                begun_at = GetTickCount();
            }
            if (GetTickCount() - begun_at < delay)
                return false;
            // Where it lands: the last test whose beginning the log shows.
            for (int k = 0; k < kRunOrderCount; ++k)
                if (text.find(kBegun[k]) != std::string::npos)
                    at = k;
            in_frames += at == 4 && text.find("Blt Test: dtgt=") == std::string::npos;
            press_stop();
            return true;
        });
        ASSERT_GE(at, 0) << what << ": the run ended before the stop\n" << log();
        ++landed[at];
        EXPECT_EQ(seen.shown, 0) << what;
        EXPECT_EQ(results_ready, 0) << what;
        EXPECT_EQ(test_running, 0) << what;
        EXPECT_EQ(stop_requested, 0) << what;
        EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kStartButton))) << what;
        EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kHelpButton))) << what;
        EXPECT_FALSE(IsWindowEnabled(test_page.item(QTestPage::kAnalysisButton))) << what;
        EXPECT_NE(log().find("End No." + std::to_string(run_number)), std::string::npos) << what;
        EXPECT_FALSE(driver::file_exists(disk_file)) << what;
        EXPECT_EQ(screen_mode(), mode) << what;
        EXPECT_EQ(directx.dd_open, 0) << what;

        // The next run fills all ten boxes and shows the score.
        for (int k = 0; k < kTestCount; ++k)
            m_times[k] = amounts[k];
        seen = run();
        EXPECT_EQ(seen.shown, 1) << what;
        EXPECT_EQ(results_ready, 1) << what;
        expect_rows_filled(what);
        EXPECT_FALSE(driver::file_exists(disk_file)) << what;
        EXPECT_EQ(screen_mode(), mode) << what;
        std::printf("%s: %lu ms\n", what.c_str(), GetTickCount() - started);
        if (HasFatalFailure() || HasFailure())
            break;
    }
    std::printf("stops that landed in each test of the run:");
    for (int k = 0; k < kRunOrderCount; ++k) {
        std::printf(" %d", landed[k]);
        EXPECT_GE(landed[k], 1) << "stops that landed in test " << k << " of the run order";
    }
    std::printf(", %d of them during the DirectDraw frames\n", in_frames);
    EXPECT_GE(in_frames, 1) << "the frames drain the queue";
}

TEST_F(Run, NothingDisturbsARun) {
    ASSERT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
    SendMessageW(setup_page.item(QSetupPage::kTripleAmount), BM_CLICK, 0, 0);
    ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    m_times[kIntegerTest] = 15;
    // The machine-information dialog, open on the comparison page, goes out of the run's way.
    ASSERT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    SendMessageW(contrast_page.item(qcontrast_page::kInfoButton), BM_CLICK, 0, 0);
    const HWND info = contrast_page.info_dialog().hwnd();
    ASSERT_TRUE(info != nullptr && IsWindowVisible(info));
    ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    const int before = run_number;
    // What the run let happen, noted from inside it.
    std::vector<std::string> disturbed;
    bool done = false;
    run([&] {
        if (!test_running)
            return false;
        auto note = [&](bool happened, const char* what) {
            if (happened)
                disturbed.push_back(what);
        };
        note(x87_control_word() != 0x027F, "the run computes beyond 53-bit precision");
        note(IsWindowVisible(info) != FALSE, "the information dialog stays up");
        SendMessageW(main_frame.hwnd(), WM_CLOSE, 0, 0);
        SendMessageW(main_frame.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageW(main_frame.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        note(!IsWindow(main_frame.hwnd()), "closed");
        note(IsIconic(main_frame.hwnd()) != FALSE, "minimised");
        click_tab(property_sheet.tab(), kComparePageIndex);
        note(SendMessageW(property_sheet.tab(), TCM_GETCURSEL, 0, 0) != kTestPageIndex, "tab");
        note(property_sheet.set_active_page(kSetupPageIndex), "options page shown");
        note(property_sheet.set_active_page(kAboutPageIndex), "information page shown");
        for (int command : {CMainFrame::kOptionsPage, CMainFrame::kAboutPage, CMainFrame::kComparePage})
            SendMessageW(main_frame.hwnd(), WM_COMMAND, command, 0);
        note(property_sheet.active_index() != kTestPageIndex, "a page command obeyed");
        SendMessageW(setup_page.item(QSetupPage::kStandardButton), BM_CLICK, 0, 0);
        note(!setup_page.checked(QSetupPage::kTripleAmount), "the options reset");
        note(IsWindowEnabled(test_page.item(QTestPage::kHelpButton)) != FALSE, "help enabled");
        const int number = run_number;
        SendMessageW(test_page.item(QTestPage::kStartButton), BM_CLICK, 0, 0);
        note(run_number != number, "a second run started");
        done = true;
        return true;
    });
    ASSERT_TRUE(done);
    EXPECT_EQ(disturbed, std::vector<std::string>{});
    EXPECT_FALSE(IsWindowVisible(info)) << "hidden until the next 机器信息";
    EXPECT_EQ(run_number, before + 1);
    const std::string text = log();
    for (const char* line : {"\nTest is running ! wait......", "\nTesting! Discard WM_SYSCOMMAND F060",
                             "\nTesting! Discard WM_SYSCOMMAND F020"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("All setting has been reseted.", text.find("Begin No.")), std::string::npos);

    // After the run the same requests are obeyed.
    EXPECT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
    SendMessageW(main_frame.hwnd(), WM_COMMAND, CMainFrame::kAboutPage, 0);
    EXPECT_EQ(property_sheet.active_index(), kAboutPageIndex);
    SendMessageW(main_frame.hwnd(), WM_COMMAND, CMainFrame::kOptionsPage, 0);
    EXPECT_EQ(property_sheet.active_index(), kSetupPageIndex);
    SendMessageW(setup_page.item(QSetupPage::kStandardButton), BM_CLICK, 0, 0);
    EXPECT_FALSE(setup_page.checked(QSetupPage::kTripleAmount));
    EXPECT_NE(log().find("\n\nAll setting has been reseted."), std::string::npos);
}

// The DirectDraw test's timer reads, at the start of each loop and after each of its two
// frames; the empty loop takes 5 ms longer than the work. The difference wraps as the other
// tests' do, to the longest time and so the smallest speed.
uint32_t empty_loop_outlasts_work() {
    static int reads = 0;
    static const uint32_t times[] = {1000, 1010, 1020, 2000, 2010, 2025};
    if (!ddraw_active) {
        reads = 0;
        return timeGetTime();
    }
    return times[std::min(reads++, 5)];
}

TEST_F(Run, AnEmptyLoopThatOutlastsTheWorkGivesTheSmallestDirectDrawSpeed) {
    const MsTimer real = ms_timer;
    ms_timer = empty_loop_outlasts_work;
    run();
    ms_timer = real;
    const std::string text = log();
    EXPECT_NE(text.find("Blt Test: dtgt0=20\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Blt Test: dtgt=1000000 ,"), std::string::npos) << text;
    // Two frames at two, three or four bytes a pixel: 0.128, 0.192 or 0.256 MB/s.
    const float speed = current_system_entry().speeds[kDirectDrawTest];
    EXPECT_GE(speed, 0.128f);
    EXPECT_LE(speed, 0.256f);
}

TEST_F(Run, PreTestCannotBeStoppedSetsTheAmountsAndClosesTheWelcomeWindow) {
    pre_test_flag = 1;
    pre_tested = 0;
    results_ready = 0;
    for (int k = 0; k < kTestCount; ++k)
        m_times[k] = 20;
    ASSERT_TRUE(open_welcome_centred("正在进行预备测试……"));
    bool stop_enabled = true, welcome_up = false, help_enabled = true;
    ScoreSeen seen = run([&] {
        if (!test_running)
            return false;
        stop_enabled = IsWindowEnabled(test_page.item(QTestPage::kStopButton)) != FALSE;
        help_enabled = IsWindowEnabled(test_page.item(QTestPage::kHelpButton)) != FALSE;
        welcome_up = welcome_dlg.hwnd() != nullptr && IsWindowVisible(welcome_dlg.hwnd());
        press_stop();
        return true;
    });
    EXPECT_FALSE(stop_enabled);
    EXPECT_FALSE(help_enabled);
    EXPECT_TRUE(welcome_up);
    EXPECT_EQ(welcome_dlg.hwnd(), nullptr);
    EXPECT_EQ(welcome_window, nullptr);
    EXPECT_EQ(seen.shown, 0);
    EXPECT_EQ(pre_test_flag, 0);
    EXPECT_EQ(pre_tested, 1);
    EXPECT_EQ(results_ready, 0);
    EXPECT_FALSE(IsWindowEnabled(test_page.item(QTestPage::kAnalysisButton)));
    EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kStopButton)));
    EXPECT_TRUE(IsWindowEnabled(test_page.item(QTestPage::kHelpButton)));
    const MachineRecord& current = current_system_entry();
    for (int k : {kIntegerTest, kFloatTest, kMemoryTest, kDiskTest}) {
        EXPECT_GT(current.speeds[k], 0.0f) << "the pre-test is not stopped";
        EXPECT_TRUE(m_times[k] >= 2 && m_times[k] <= 999 && m_times[k] != 20) << m_times[k];
    }
    EXPECT_NE(log().find("pre_test_flag=1 pre_tested=0 m_times[0]=1"), std::string::npos);
}

// The pixels of the bars' insides (the frame controls paint their own border over the bars'
// outer columns when they repaint) and of the markers' squares left of the frames.
std::vector<uint32_t> bars_and_markers(const Picture& p) {
    std::vector<uint32_t> out;
    for (const Row& r : kRows) {
        const RECT bar = bar_rect(r.bar);
        for (int y = bar.top + 2; y < bar.bottom - 2; ++y)
            for (int x = bar.left + 1; x < bar.right - 1; ++x)
                out.push_back(p.at(x, y));
        for (int y = bar.top - 7; y < bar.top + 25; ++y)
            for (int x = bar.left - 32; x < bar.left - 1; ++x)
                out.push_back(p.at(x, y));
    }
    return out;
}

TEST_F(Run, PageRepaintsItsBarsAndMarkersAfterBeingCoveredOrMinimised) {
    run();
    SetForegroundWindow(main_frame.hwnd());
    const uint32_t face = rgb_of(GetSysColor(COLOR_BTNFACE));
    auto coloured = [face](const std::vector<uint32_t>& px) {
        return std::count_if(px.begin(), px.end(), [face](uint32_t v) { return v != face; });
    };
    std::vector<uint32_t> drawn;
    ASSERT_TRUE(pump_until(
        [&] {
            drawn = bars_and_markers(capture(test_page.hwnd()));
            return coloured(drawn) > static_cast<long>(drawn.size() / 2);
        },
        kWait))
        << "no bars";
    auto shows = [](const std::vector<uint32_t>& want) {
        return pump_until([&] { return bars_and_markers(capture(test_page.hwnd())) == want; }, kWait);
    };

    // A repaint of the whole page, as uncovering it brings; and a minimised frame restored.
    RedrawWindow(main_frame.hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    EXPECT_TRUE(shows(drawn)) << "after a repaint";
    ShowWindow(main_frame.hwnd(), SW_MINIMIZE);
    ASSERT_TRUE(pump_until([] { return IsIconic(main_frame.hwnd()) != FALSE; }, kWait));
    ShowWindow(main_frame.hwnd(), SW_RESTORE);
    EXPECT_TRUE(shows(drawn)) << "after minimising";

    // What comes back is the recording: without it the repaint leaves the frames empty.
    run_recording.delete_picture();
    RedrawWindow(test_page.hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(pump_until(
        [&] { return coloured(bars_and_markers(capture(test_page.hwnd()))) < coloured(drawn) / 10; },
        kWait));
}

// The blue digits' columns in a score dialog picture.
std::pair<int, int> blue_columns(const Picture& p) {
    int left = p.width, right = -1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.at(x, y) == 0x0000FF) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

TEST_F(Run, ScoreDialogCentresTheMarkOnItsFirstFourCharacters) {
    struct Seen {
        Picture picture;
        int digit = 0;
        bool icon = false;
    };
    auto show = [](float value) {
        mark = value;
        Seen seen;
        Ticks ticks;
        ticks.every(20, [&seen] {
            HWND score = shown_score_window();
            if (score == nullptr)
                return false;
            UpdateWindow(score);
            seen.picture = capture(score);
            seen.icon = SendMessageW(score, WM_GETICON, ICON_BIG, 0) != 0;
            ui::WindowDc dc(score);
            ui::Font font(CreateFontW(36, 0, 0, 0, FW_BOLD, 0, 0, 0, GB2312_CHARSET, OUT_TT_PRECIS,
                                      CLIP_TT_ALWAYS, DEFAULT_QUALITY, 0, L"宋体"));
            ui::ScopedSelect select(dc.get(), font.get());
            SIZE size{};
            GetTextExtentPoint32W(dc.get(), L"0", 1, &size);
            seen.digit = size.cx;
            PostMessageW(score, WM_COMMAND, IDCANCEL, 0);
            return true;
        });
        QScoreDlg dialog;
        dialog.run(main_frame.hwnd());
        return seen;
    };
    Seen small = show(0.87f);
    ASSERT_GT(small.picture.width, 0);
    EXPECT_TRUE(small.icon);
    auto [l1, r1] = blue_columns(small.picture);
    ASSERT_GE(r1, l1) << "no blue digits";
    const int centre = small.picture.width / 2;
    EXPECT_NEAR((l1 + r1) / 2.0, centre, 3.0) << "0.87 is centred";

    Seen big = show(12.34f);
    auto [l2, r2] = blue_columns(big.picture);
    ASSERT_GE(r2, l2);
    EXPECT_NEAR((l2 + r2) / 2.0, centre + big.digit / 2.0, 3.0)
        << "12.34 is measured without its last digit";
    EXPECT_GT(r2 - l2, r1 - l1);
}

TEST_F(Run, TestPageLogoIsKeyedPlacedAndALinkWithStrictBorders) {
    ASSERT_TRUE(test_page.logo().loaded());
    RedrawWindow(test_page.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT client{};
    GetClientRect(test_page.hwnd(), &client);
    const PixelRect r = test_page.logo_rect();
    EXPECT_EQ(r.right, client.right - 40);
    EXPECT_EQ(r.top, client.bottom - 80);
    EXPECT_EQ(r.right - r.left, test_page.logo().width());
    const Picture page = capture(test_page.hwnd());
    EXPECT_EQ(page.at(r.left + 1, r.top + 1), rgb_of(GetSysColor(COLOR_BTNFACE)));
    bool dark = false;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            dark |= page.at(x, y) != rgb_of(GetSysColor(COLOR_BTNFACE));
    EXPECT_TRUE(dark) << "the logo's drawing stays";

    const HCURSOR hand = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(135));
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    auto move = [](int x, int y) {
        SendMessageW(test_page.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        return test_page.link_hot();
    };
    SetCursor(arrow);
    EXPECT_TRUE(move(r.left + 1, r.top + 1));
    EXPECT_EQ(GetCursor(), hand);
    EXPECT_FALSE(move(r.left, r.top + 5)) << "the border is outside";
    EXPECT_EQ(GetCursor(), arrow) << "leaving restores the arrow";
    SetCursor(hand);
    EXPECT_FALSE(move(10, 10));
    EXPECT_EQ(GetCursor(), hand) << "moving elsewhere does not set the cursor";
    SetCursor(arrow);
    EXPECT_FALSE(move(r.right, r.bottom - 1));
    EXPECT_FALSE(move(r.right - 1, r.bottom));
    test_running = 1;
    EXPECT_FALSE(move(r.left + 5, r.top + 5)) << "inert during a run";
    EXPECT_EQ(GetCursor(), arrow);
    test_running = 0;
}

TEST_F(Run, OptionsPagePreselectsTheModeFollowsTheListAndResetsToStandard) {
    ASSERT_TRUE(property_sheet.set_active_page(kSetupPageIndex));
    HWND list = setup_page.item(QSetupPage::kModeList);
    auto fill = [list](std::vector<const wchar_t*> entries) {
        SendMessageW(list, CB_RESETCONTENT, 0, 0);
        for (const wchar_t* e : entries)
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e));
    };
    auto activate = [] {
        property_sheet.set_active_page(kTestPageIndex);
        return property_sheet.set_active_page(kSetupPageIndex);
    };
    struct Case {
        std::vector<const wchar_t*> entries;
        int refresh;
        int selected;
    };
    const Case cases[] = {
        {{}, 0, CB_ERR},
        {{L"800X600 16bit 60HZ", L"1024X768 32bit 60HZ"}, 60, 0},
        {{L"800X600 16bit 60HZ", L"1024X768 16bit 60HZ", L"1024X768 16bit 75HZ"}, 75, 2},
        {{L"640X480 16bit 默认刷新率", L"1024X768 16bit 默认刷新率"}, 0, 1},
    };
    for (const Case& c : cases) {
        fill(c.entries);
        directx.refresh_rate = c.refresh;
        ASSERT_TRUE(activate());
        EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), c.selected) << c.entries.size();
    }
    directx.refresh_rate = 0;

    // A selection once made stays, through activations and the reset.
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    ASSERT_TRUE(activate());
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
    // Clicking into the list chooses a mode of the list.
    SetForegroundWindow(main_frame.hwnd());
    SetFocus(list);
    pump();
    EXPECT_TRUE(setup_page.checked(QSetupPage::kChosenMode));
    EXPECT_FALSE(setup_page.checked(QSetupPage::kDefaultMode));
    EXPECT_FALSE(setup_page.checked(QSetupPage::kCurrentMode));

    const int non_standard[] = {QSetupPage::kBigBlocks, QSetupPage::kBuffered,
                                QSetupPage::kGameWeights, QSetupPage::kUse3dnow,
                                QSetupPage::kUseSse, QSetupPage::kTripleAmount,
                                QSetupPage::kPreTest, QSetupPage::kAutoScale};
    for (int id : non_standard)
        SendMessageW(setup_page.item(id), BM_CLICK, 0, 0);
    ASSERT_EQ(auto_scale, 0);
    SendMessageW(setup_page.item(QSetupPage::kStandardButton), BM_CLICK, 0, 0);
    const int on[] = {QSetupPage::kSmallBlocks, QSetupPage::kUnbuffered, QSetupPage::kDefaultMode,
                      QSetupPage::kAutoScale, QSetupPage::kAverageWeights};
    const int off[] = {QSetupPage::kBigBlocks,       QSetupPage::kBuffered,  QSetupPage::kCurrentMode,
                       QSetupPage::kChosenMode,      QSetupPage::kBusinessWeights,
                       QSetupPage::kGameWeights,     QSetupPage::kUse3dnow,  QSetupPage::kUseSse,
                       QSetupPage::kTripleAmount,    QSetupPage::kPreTest};
    for (int id : on)
        EXPECT_TRUE(setup_page.checked(id)) << id;
    for (int id : off)
        EXPECT_FALSE(setup_page.checked(id)) << id;
    EXPECT_EQ(auto_scale, 1);
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0) << "the mode selection stays";
    fill({});
}

TEST_F(Run, HelpWithoutTheHelpFileTellsTheUserAndGoesOn) {
    ScopedInstallDir elsewhere("c:\\no-such-kalvit");
    for (int page : {kTestPageIndex, kSetupPageIndex}) {
        messages.clear();
        ASSERT_TRUE(property_sheet.set_active_page(page));
        HWND help = page == kTestPageIndex ? test_page.item(QTestPage::kHelpButton)
                                           : setup_page.item(QSetupPage::kHelpButton);
        SendMessageW(help, BM_CLICK, 0, 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], std::string("找不到帮助文件 ") + install_dir + "\\kalvit.chm");
    }
}

TEST_F(Run, WelcomeWindowIsCentredKeyedAndHiddenWhileAMessageIsUp) {
    install_message_services();
    set_message_presenter([](const char* text) {
        messages.push_back(std::string(text) +
                           (IsWindowVisible(welcome_dlg.hwnd()) ? " (welcome shown)" : ""));
    });
    ASSERT_TRUE(open_welcome_centred("正在初始化，请稍候......"));
    HWND w = welcome_dlg.hwnd();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(welcome_window, w);
    RECT r{};
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);
    EXPECT_EQ(driver::window_text_gbk(w), "欢迎使用《Tavoli测试》");
    EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & WS_SYSMENU);
    EXPECT_EQ(welcome_dlg.item_text(QWelcomeDlg::kText), "正在初始化，请稍候......");
    ASSERT_TRUE(welcome_dlg.logo().loaded());
    UpdateWindow(w);
    const Picture p = capture(w);
    const int left = (p.width - welcome_dlg.logo().width()) / 2;
    const uint32_t face = rgb_of(GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(p.at(left + 1, 15 + 1), face);
    // The logo's drawing sits where the logo is centred, 15 pixels from the top.
    auto first_drawn_column = [face](const Picture& pic, int top, int rows, int from, int to) {
        for (int x = from; x < to && x < pic.width; ++x)
            for (int y = top; y < top + rows && y < pic.height; ++y)
                if (pic.at(x, y) != face)
                    return x;
        return -1;
    };
    Picture logo;
    {
        const LogoPicture& l = welcome_dlg.logo();
        logo.width = l.width();
        logo.height = l.height();
        ui::WindowDc dc(w);
        ui::MemoryDc memory(CreateCompatibleDC(dc.get()));
        ui::Bitmap bitmap(CreateCompatibleBitmap(dc.get(), logo.width, logo.height));
        ui::ScopedSelect select(memory.get(), bitmap.get());
        l.draw(memory.get(), 0, 0);
        for (int y = 0; y < logo.height; ++y)
            for (int x = 0; x < logo.width; ++x)
                logo.pixels.push_back(rgb_of(GetPixel(memory.get(), x, y)));
    }
    const int drawn_in_logo = first_drawn_column(logo, 0, logo.height, 0, logo.width);
    ASSERT_GE(drawn_in_logo, 0);
    EXPECT_EQ(first_drawn_column(p, 15, logo.height, left, left + logo.width), left + drawn_in_logo);

    set_welcome_text("正在进行预备测试……");
    EXPECT_EQ(welcome_dlg.item_text(QWelcomeDlg::kText), "正在进行预备测试……");
    QMsgBox("一");
    EXPECT_TRUE(IsWindowVisible(w)) << "shown again after the box";
    close_welcome();
    EXPECT_EQ(welcome_dlg.hwnd(), nullptr);
    EXPECT_EQ(welcome_window, nullptr);
    close_welcome();

    // Without the logo file: told once, the window still works and closes.
    {
        ScopedInstallDir elsewhere("c:\\no-such-kalvit");
        ASSERT_TRUE(open_welcome_centred("x"));
        EXPECT_TRUE(IsWindowVisible(welcome_dlg.hwnd()));
        EXPECT_FALSE(welcome_dlg.logo().loaded());
        close_welcome();
    }
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "一", "Can't LoadImage: c:\\no-such-kalvit\\pdata\\pnlogog.bmp"}));
    set_welcome_hooks({});
    set_plain_message_presenter(nullptr);
}

// This machine's information from the system's own calls: fifteen lines in their shapes, and
// the boxes the processor cannot use greyed out.
TEST_F(Run, MachineInformationHasItsLinesAndGreysTheUnusableBoxes) {
    ui::choose_text_api();
    os_version = ui::os_version();
    mhz_average = mhz_count = mhz_text_offset = 0;
    disk_space_text[0] = '\0';
    current_system_entry() = {}; // as before the first run: no display mode yet
    HWND sse = setup_page.item(QSetupPage::kUseSse), amd = setup_page.item(QSetupPage::kUse3dnow);
    EnableWindow(sse, TRUE);
    EnableWindow(amd, TRUE);
    auto lines_of = [](const char* text) {
        std::vector<std::string> lines;
        for (const char* end; (end = std::strchr(text, '\n')) != nullptr; text = end + 1)
            lines.emplace_back(text, end);
        return lines;
    };
    char text[kInfoTextSize];
    ASSERT_EQ(collect_machine_info(text), 1);
    EXPECT_FALSE(collecting);
    const std::vector<std::string> lines = lines_of(text);
    ASSERT_EQ(lines.size(), 15u) << text;
    EXPECT_EQ(text[std::strlen(text) - 1], '\n');
    wchar_t name[64] = {};
    DWORD size = 64;
    GetComputerNameW(name, &size);
    EXPECT_EQ(lines[0], to_gbk(name));
    const char* shapes[15] = {
        nullptr, ".+", "(MMX )?(SSE )?(SSE2 )?(3DNOW )?", "[1-9][0-9]{0,4} *MHz    ", ".+",
        "[0-9A-F]{4} [0-9A-F]{4}", "[1-9][0-9]* MB", "0x0 0bit", "总共[0-9]+M 剩余[0-9]+M", ".*",
        ".*", "总共[1-9][0-9]*M 剩余[0-9]+M", "总共[0-9]+M 剩余[0-9]+M",
        "Win(NT|2000|XP) [0-9]+\\.[0-9]+\\.[0-9]+",
        "20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]"};
    for (int i = 1; i < 15; ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(shapes[i]))) << i << ": " << lines[i];
    EXPECT_EQ(lines[3].size(), 12u);
    EXPECT_EQ(mhz_text_offset, lines[0].size() + lines[1].size() + lines[2].size() + 3);
    EXPECT_EQ(mhz_count, 1u);
    // SSE stays on offer on this processor; 3DNow! only where it exists.
    EXPECT_TRUE(IsWindowEnabled(sse));
    EXPECT_EQ(IsWindowEnabled(amd) != FALSE, lines[2].find("3DNOW") != std::string::npos);

    current_system_entry() = {};
    EnableWindow(amd, TRUE);
}

} // namespace
