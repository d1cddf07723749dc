#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <cpuid.h>
#include <wininet.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "analysis/encode_upload.h"
#include "tests/wine/browser_redirect.h"
#include "tests/wine/program_run.h"
#include "tests/wine/switch_refusal.h"
#include "tests/wine/ui_fixture.h"
#include "tests/wine/window_test_support.h"
#include "ui/gbk.h"
#include "ui/text_api.h"
// A first start of the real program driven from outside: the pre-test under the welcome
// window, a run disturbed and stopped, a complete standard run with its score, and a run with
// both SIMD options. One start serves the suite, in this order.

namespace {

constexpr int kStart = 32771, kStop = 32772, kAnalysis = 1040, kHelp = 1039;
constexpr int kUse3dnow = 1055, kUseSse = 1056;
constexpr DWORD kRunTimeoutMs = 20 * 60000; // a run takes about a minute on a quiet machine

struct Row {
    const char* name;
    int absolute, relative;
    const char* unit;
    double base, absolute_step;
};
const Row kRows[] = {
    {"integer", 1017, 1018, " M次/s", 35.70, 0.01},
    {"floating point", 1022, 1024, " M次/s", 3.39, 0.01},
    {"memory", 1019, 1025, " MB/s", 253.49, 0.1},
    {"disk", 1021, 1026, " MB/s", 16.82, 0.01},
    {"DirectDraw", 1020, 1023, " MB/s", 339.74, 0.1},
};

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}
std::wstring wrepeat(const std::wstring& piece, int times) {
    std::wstring out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

struct Program {
    driver::ProfileGuard profile;
    std::optional<driver::Installation> inst;
    std::optional<driver::Process> process;
    std::optional<SwitchRefusalAnswerer> answerer;
    HWND frame = nullptr, sheet = nullptr;
};

class FirstStart : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        p_ = std::make_unique<Program>();
        p_->inst = uitest::prepare(L"first-start");
        // No stored pre-test setting: a first start runs the pre-test.
        if (!p_->inst || !driver::delete_profile_value(L"pre_test_flag"))
            return;
        p_->process = uitest::start(*p_->inst);
        if (p_->process)
            p_->answerer.emplace(p_->process->id());
    }
    static void TearDownTestSuite() {
        if (p_->frame != nullptr) {
            driver::close_window(p_->frame);
            p_->process->wait_exit(driver::kStepTimeoutMs);
        }
        p_.reset();
    }
    void SetUp() override { ASSERT_TRUE(p_->process.has_value()); }

    static HWND control(int id) {
        return p_->sheet != nullptr ? driver::find_descendant(p_->sheet, nullptr, id) : nullptr;
    }
    static std::string text(int id) { return driver::window_text_gbk(control(id)); }
    static bool enabled(int id) { return IsWindowEnabled(control(id)) != FALSE; }
    static std::vector<std::string> log() { return driver::read_log_lines(p_->inst->log()); }
    static int count_starting(const std::string& prefix) {
        int n = 0;
        for (const std::string& line : log())
            n += line.compare(0, prefix.size(), prefix) == 0;
        return n;
    }
    static bool wait_for_line(const std::string& prefix, DWORD timeout) {
        return driver::wait_until([&] { return count_starting(prefix) > 0; }, timeout);
    }
    static void post_click(int id) { PostMessageW(control(id), BM_CLICK, 0, 0); }
    // The message the program shows, answered No when it asks and OK otherwise.
    static std::string answer_box() {
        std::optional<driver::MessageBoxInfo> box =
            driver::wait_for_message_box(p_->process->id(), driver::kStepTimeoutMs);
        if (!box)
            return "<no message>";
        const int button = GetDlgItem(box->box, IDNO) != nullptr ? IDNO : IDOK;
        PostMessageW(box->box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box->box, button)));
        EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(box->box); }, driver::kStepTimeoutMs));
        return to_gbk(box->text);
    }
    static HWND top_window(const wchar_t* title) {
        return driver::find_dialog(p_->process->id(), title);
    }

    static std::unique_ptr<Program> p_;
};
std::unique_ptr<Program> FirstStart::p_;

TEST_F(FirstStart, PreTestRunsUnderTheWelcomeWindowWithTheStopButtonDisabled) {
    bool pre_test_text = false, stop_disabled = false, no_close_box = false;
    HWND welcome = nullptr;
    const bool ended = driver::wait_until(
        [&] {
            HWND w = top_window(L"欢迎使用《Tavoli测试》");
            if (w != nullptr) {
                welcome = w;
                no_close_box = !(GetWindowLongW(w, GWL_STYLE) & WS_SYSMENU);
                if (driver::window_text_gbk(GetDlgItem(w, 1079)) == "正在进行预备测试……") {
                    pre_test_text = true;
                    if (p_->sheet == nullptr) {
                        p_->frame = driver::wait_for_frame(*p_->process, 1000);
                        p_->sheet = p_->frame ? driver::find_sheet(p_->frame) : nullptr;
                    }
                    if (p_->sheet != nullptr && !enabled(kStop) && count_starting("Begin No.1") > 0)
                        stop_disabled = true;
                }
            }
            return count_starting("End No.1 test at ") > 0;
        },
        driver::kStartTimeoutMs * 2);
    ASSERT_TRUE(ended) << "the pre-test did not end; "
                       << to_gbk(driver::describe_state(*p_->process));
    ASSERT_NE(welcome, nullptr) << "no welcome window";
    EXPECT_TRUE(pre_test_text);
    EXPECT_TRUE(stop_disabled);
    EXPECT_TRUE(no_close_box);
    if (p_->sheet == nullptr) {
        p_->frame = uitest::wait_for_frame(*p_->process);
        p_->sheet = driver::find_sheet(p_->frame);
    }
    ASSERT_NE(p_->sheet, nullptr);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(welcome); }, driver::kStepTimeoutMs))
        << "the welcome window stays after the pre-test";
    EXPECT_TRUE(driver::wait_until([] { return enabled(kStop) && enabled(kHelp); },
                                   driver::kStepTimeoutMs));
    EXPECT_FALSE(enabled(kAnalysis)) << "the pre-test gives no results to analyse";

    // The run's lines, in their order.
    const std::vector<std::string> steps = {
        "Begin No.1 test at ",
        "You Select DD Mode=0",
        "mem_block=0 , disk_cached=0 , ddraw_mode=0 , average_method=0 , amd_3dnow=0 , "
        "intel_sse=0 , test_3times=0",
        "Float control word2=",
        "pre_test_flag=1 pre_tested=0 m_times[0]=1",
        "pre_test_flag=1 pre_tested=0 m_times[1]=1",
        "pre_test_flag=1 pre_tested=0 m_times[2]=1",
        "pre_test_flag=1 pre_tested=0 m_times[3]=1",
        "pre_test_flag=1 pre_tested=0 m_times[4]=1",
        "Integer Test: dtgt=",
        "Float Test: dtgt=",
        "Memory Test: dtgt=",
        "-----bef wait2: time=",
        "-----aft wait: time=",
        "Disk Test: Drive C:",
        "Disk Test: dtgt=",
        "End No.1 test at "};
    std::vector<std::string> seen;
    for (const std::string& line : log())
        for (const std::string& s : steps)
            if (line.compare(0, s.size(), s) == 0)
                seen.push_back(s);
    EXPECT_EQ(seen, steps);
    EXPECT_EQ(count_starting("+++++OK:\tTavoliMARK="), 0) << "the pre-test has no MARK";
}

TEST_F(FirstStart, NothingDisturbsARunAndAStopDuringTheIntegerTestStoresZero) {
    ASSERT_NE(p_->sheet, nullptr);
    HWND tab = driver::find_tab_control(p_->sheet);
    post_click(kStart);
    ASSERT_TRUE(wait_for_line("Begin No.2 test at ", driver::kStepTimeoutMs));
    ASSERT_TRUE(wait_for_line("pre_test_flag=0 pre_tested=1 m_times[4]=", driver::kStepTimeoutMs));

    driver::close_window(p_->frame);
    std::optional<RECT> options_tab = driver::tab_rect(tab, 2);
    ASSERT_TRUE(options_tab.has_value());
    const LPARAM at = MAKELPARAM((options_tab->left + options_tab->right) / 2,
                                 (options_tab->top + options_tab->bottom) / 2);
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tab, WM_LBUTTONUP, 0, at);
    PostMessageW(p_->frame, WM_COMMAND, 32776, 0); // the application's options command
    PostMessageW(p_->frame, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    post_click(kStart);
    // The program's own notes that it refused the start and the minimize.
    ASSERT_TRUE(driver::wait_until(
        [] {
            return count_starting("Test is running ! wait......") > 0 &&
                   count_starting("Testing! Discard WM_SYSCOMMAND F020") > 0;
        },
        driver::kStepTimeoutMs));
    ASSERT_TRUE(driver::responding(p_->frame));
    EXPECT_TRUE(IsWindow(p_->frame));
    EXPECT_FALSE(IsIconic(p_->frame));
    EXPECT_EQ(driver::tab_selection(tab), 0);
    EXPECT_EQ(driver::visible_page(p_->sheet), GetParent(control(kStart)));
    ASSERT_EQ(count_starting("Integer Test: dtgt="), 1) << "the integer test is still running";

    post_click(kStop);
    ASSERT_TRUE(wait_for_line("End No.2 test at ", kRunTimeoutMs));
    EXPECT_EQ(count_starting("Begin No.3"), 0) << "a second start during the run";
    EXPECT_EQ(count_starting("Disk Test: dtgt="), 1)
        << "the stopped run ends after the memory test";
    EXPECT_EQ(text(1017), "  0.00 M次/s");
    EXPECT_EQ(text(1018), "  0.00");
    EXPECT_TRUE(driver::wait_until([] { return enabled(kHelp); }, driver::kStepTimeoutMs));
    EXPECT_FALSE(enabled(kAnalysis));
    EXPECT_EQ(top_window(L"Tavoli测试结果"), nullptr);
    EXPECT_EQ(count_starting("+++++OK:\tTavoliMARK="), 0);
}

// The pure blue digits of the score on the screen, inside the window.
bool shows_blue_digits(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    ui::WindowDc screen(nullptr);
    int blue = 0;
    for (int y = r.top; y < r.bottom; y += 1)
        for (int x = r.left; x < r.right; x += 1)
            blue += GetPixel(screen.get(), x, y) == RGB(0, 0, 255);
    return blue > 20;
}

TEST_F(FirstStart, CompleteStandardRunShowsTheMarkAndAllowsTheAnalysis) {
    ASSERT_NE(p_->sheet, nullptr);
    RECT frame_before{}, frame_after{};
    GetWindowRect(p_->frame, &frame_before);
    post_click(kStart);
    HWND score = nullptr;
    ASSERT_TRUE(driver::wait_until(
        [&] { return (score = top_window(L"Tavoli测试结果")) != nullptr; }, kRunTimeoutMs))
        << to_gbk(driver::describe_state(*p_->process));
    EXPECT_FALSE(enabled(kAnalysis)) << "the analysis waits for the score window";
    EXPECT_EQ(driver::window_text_gbk(GetDlgItem(score, 1070)), "当前系统的TavoliMARK为：");
    SetForegroundWindow(score);
    EXPECT_TRUE(driver::wait_until([&] { return shows_blue_digits(score); }, driver::kStepTimeoutMs));

    // The screen given back, the frame stands where it stood.
    GetWindowRect(p_->frame, &frame_after);
    EXPECT_TRUE(EqualRect(&frame_before, &frame_after));
    // The MARK is the mean of the five relative speeds, and every relative speed is the
    // absolute one over the base system's, to the formats' rounding.
    double sum = 0;
    for (const Row& r : kRows) {
        const std::string a = text(r.absolute), q = text(r.relative);
        double speed = 0, ratio = 0;
        ASSERT_EQ(std::sscanf(a.c_str(), "%lf", &speed), 1) << r.name << " " << a;
        ASSERT_EQ(std::sscanf(q.c_str(), "%lf", &ratio), 1) << r.name << " " << q;
        char expected[64];
        std::snprintf(expected, sizeof expected, r.absolute_step < 0.05 ? "%6.2f%s" : "%7.1f%s",
                      speed, r.unit);
        EXPECT_EQ(a, expected) << r.name;
        std::snprintf(expected, sizeof expected, r.absolute_step < 0.05 ? "%6.2f" : "%7.2f", ratio);
        EXPECT_EQ(q, expected) << r.name;
        EXPECT_NEAR(ratio, speed / r.base, 0.005 + r.absolute_step / 2 / r.base + 1e-9) << r.name;
        EXPECT_GT(speed, 0) << r.name;
        sum += ratio;
    }
    std::string mark_line;
    for (const std::string& line : log())
        if (line.rfind("+++++OK:\tTavoliMARK=", 0) == 0)
            mark_line = line;
    double mark = 0;
    ASSERT_EQ(std::sscanf(mark_line.c_str(), "+++++OK:\tTavoliMARK=%lf", &mark), 1) << mark_line;
    EXPECT_NEAR(mark, sum / 5, 0.011);

    PostMessageW(score, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(score); }, driver::kStepTimeoutMs));
    EXPECT_TRUE(driver::wait_until([] { return enabled(kAnalysis); }, driver::kStepTimeoutMs));
}

// The analysis of the standard run above: the rows against the test page's figures, the report,
// and the upload handed to a browser that only notes the address.
namespace analysis {
constexpr int kList = 1084, kReport = 1040, kUpload = 1042;
constexpr int kMail = 1085, kPassword = 1086, kRepeat = 1087;
const char* const kLabels[16] = {
    "机器名",   "处理器",   "CPU特性",  "CPU主频",  "显  卡",   "显卡ID",   "显存容量", "显卡模式",
    "硬盘空间", "BIOS类型", "BIOS日期", "物理内存", "虚存文件", "操作系统", "测试时间", "测试设置"};
const std::regex kClockText("[0-9]+ *MHz {4}");

struct Cells {
    std::string label, text;
};
std::vector<Cells> rows_of(HWND list) {
    std::vector<Cells> rows;
    const LRESULT n = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int r = 0; r < n; ++r)
        rows.push_back({to_gbk(driver::list_item_text(list, r, 0).value_or(L"<none>")),
                        to_gbk(driver::list_item_text(list, r, 1).value_or(L"<none>"))});
    return rows;
}

// The figures of the test page: absolute and relative speed in test order, and the number of
// each absolute speed's text as shown ("71.40", "679.5").
struct Figures {
    double speed[5], ratio[5];
    std::string shown[5];
};
Figures page_figures(HWND page) {
    // Integer, floating point, memory, DirectDraw, disk.
    const int ids[5][2] = {{1017, 1018}, {1022, 1024}, {1019, 1025}, {1020, 1023}, {1021, 1026}};
    Figures f{};
    for (int k = 0; k < 5; ++k) {
        const std::string absolute = driver::window_text_gbk(GetDlgItem(page, ids[k][0]));
        f.speed[k] = std::stod(absolute);
        f.ratio[k] = std::stod(driver::window_text_gbk(GetDlgItem(page, ids[k][1])));
        const size_t from = absolute.find_first_not_of(' ');
        f.shown[k] =
            from == std::string::npos ? "" : absolute.substr(from, absolute.find(' ', from) - from);
    }
    return f;
}

std::string format(const char* f, double a, double b = 0) {
    char out[128];
    std::snprintf(out, sizeof out, f, a, b);
    return out;
}

// The windows that show the report (the shell opens it with the text editor), in any process.
BOOL CALLBACK note_report_viewer(HWND w, LPARAM found) {
    if (IsWindowVisible(w) && driver::window_text(w).find(L"klvreport") != std::wstring::npos)
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(w);
    return TRUE;
}
std::vector<HWND> report_viewers() {
    std::vector<HWND> found;
    EnumWindows(note_report_viewer, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos;
         start = at + separator.size())
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The results service the test runs beside (tools/with-results.sh): its address, or nothing.
std::string results_url() {
    wchar_t url[512] = {};
    const DWORD n = GetEnvironmentVariableW(L"KALVIT_RESULTS_URL", url, 512);
    std::string out = n > 0 && n < 512 ? to_gbk(url) : "";
    while (!out.empty() && out.back() == '/')
        out.pop_back();
    return out;
}
// The second log of the browser script: the service's answer to each address passed on.
std::wstring answers_log() {
    return driver::from_unix_path(KALVIT_BROWSER_ANSWERS);
}

// One GET through WinINet, without the cache and without following a redirection.
struct InternetCloser {
    void operator()(HINTERNET h) const { InternetCloseHandle(h); }
};
using Internet = std::unique_ptr<void, InternetCloser>;
struct Answer {
    DWORD status = 0, error = 0;
    std::string body;
};
Answer fetch(const std::string& url) {
    Answer a;
    Internet session(
        InternetOpenW(L"kalvit-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        a.error = GetLastError();
        return a;
    }
    DWORD timeout = 20000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_SEND_TIMEOUT})
        InternetSetOptionW(session.get(), option, &timeout, sizeof timeout);
    Internet request(InternetOpenUrlW(session.get(), to_wide(url).c_str(), nullptr, 0,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                          INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                                          INTERNET_FLAG_NO_AUTO_REDIRECT,
                                      0));
    if (!request) {
        a.error = GetLastError();
        return a;
    }
    DWORD size = sizeof a.status;
    HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &a.status, &size,
                   nullptr);
    char buffer[8192];
    DWORD got = 0;
    while (InternetReadFile(request.get(), buffer, sizeof buffer, &got) && got > 0)
        a.body.append(buffer, got);
    return a;
}
// Whether the page's text of a speed (one or two decimals) is the service's two-decimal value
// rounded to the page's decimals: where that value ends in 5, the speed behind both may have
// rounded either way.
bool shows_as(const std::string& page, const std::string& service) {
    const size_t point = page.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(page.size() - point - 1);
    if (decimals >= 2)
        return page == service;
    const double v = std::stod(service);
    char low[64], high[64];
    std::snprintf(low, sizeof low, "%.*f", decimals, v - 0.0049);
    std::snprintf(high, sizeof high, "%.*f", decimals, v + 0.0049);
    return page == low || page == high;
}

// The upload as the results service stored it: its answer to the browser, then the only stored
// result, standard, with the speeds the upload carried and the test page showed, and the MARK.
void check_stored_upload(const std::string (&sent)[5],
                         const Figures& fig, double mark) {
    const std::string base = results_url();
    ASSERT_FALSE(base.empty()) << "KALVIT_RESULTS_URL is not set: this test sends its upload to "
                                  "a results service; run it through tools/with-results.sh "
                                  "(ctest does)";
    std::string answered;
    const bool answer = driver::wait_until(
        [&] {
            answered = driver::read_file(answers_log()).value_or("");
            return !answered.empty() && answered.back() == '\n';
        },
        driver::kStartTimeoutMs + 10000);
    ASSERT_TRUE(answer) << "the browser script passed nothing on to the service at " << base
                        << " (no answer in " << KALVIT_BROWSER_ANSWERS << ")";
    ASSERT_EQ(answered, "303 " + base + "/result/1?new=1\n");

    const Answer json = fetch(base + "/api/results");
    ASSERT_EQ(json.status, 200u) << "error " << json.error << " " << json.body;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        json.body, m,
        std::regex("\\{\"id\":([0-9]+),.*\"speeds\":\\{\"integer\":([0-9.]+),\"float\":([0-9.]+),"
                   "\"memory\":([0-9.]+),\"directdraw\":([0-9.]+),\"disk\":([0-9.]+)\\},"
                   "\"flags\":([0-9]+),\"standard\":(true|false),.*\"mark\":([0-9.]+),")))
        << json.body;
    EXPECT_EQ(split(json.body, "{\"id\":").size(), 2u) << "one stored upload: " << json.body;
    EXPECT_EQ(m[1], "1");
    EXPECT_EQ(m[7], "0");
    EXPECT_EQ(m[8], "true");
    std::string stored[5];
    for (int k = 0; k < 5; ++k)
        stored[k] = m[k + 2];
    const std::string stored_mark = m[9];

    // Integer, floating point, memory, DirectDraw, disk: as sent, and as the test page shows.
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(sent[k], stored[k]) << k;
        EXPECT_TRUE(shows_as(fig.shown[k], stored[k]))
            << k << ": the test page shows " << fig.shown[k] << ", the service " << stored[k];
    }
    // The service computes the MARK from the two-decimal speeds.
    EXPECT_NEAR(std::stod(stored_mark), mark, 0.006) << stored_mark;
}
} // namespace analysis

TEST_F(FirstStart, AnalysisRatesTheRunWritesTheReportAndUploadsThroughTheBrowser) {
    using namespace analysis;
    ASSERT_NE(p_->sheet, nullptr);
    HWND page = driver::select_page(p_->sheet, 0, kStart);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(enabled(kAnalysis));
    const Figures fig = page_figures(page);
    double mark = 0;
    for (const std::string& line : log())
        std::sscanf(line.c_str(), "+++++OK:\tTavoliMARK=%lf", &mark);

    post_click(kAnalysis);
    HWND dialog = nullptr;
    ASSERT_TRUE(driver::wait_until(
        [&] { return (dialog = top_window(L"测试结果分析")) != nullptr; }, driver::kStepTimeoutMs))
        << to_gbk(driver::describe_state(*p_->process));
    HWND list = GetDlgItem(dialog, kList), report = GetDlgItem(dialog, kReport);
    // The rows are filled at the end of the opening, just before the clock starts.
    ASSERT_TRUE(driver::wait_until([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 32; },
                                   driver::kStepTimeoutMs));
    const DWORD shown_at = GetTickCount();
    // Until the third tick: the welcome window over it, the buttons off, and neither the close
    // box nor Escape closes it.
    HWND welcome = top_window(L"欢迎使用《Tavoli测试》");
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(driver::window_text_gbk(GetDlgItem(welcome, 1079)), "获取机器信息……");
    EXPECT_TRUE(GetWindowLongW(welcome, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT d{}, w{};
    GetWindowRect(dialog, &d);
    GetWindowRect(welcome, &w);
    EXPECT_EQ(w.left, (d.left + d.right - (w.right - w.left)) / 2 + 40);
    EXPECT_EQ(w.top, (d.top + d.bottom - (w.bottom - w.top)) / 2);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(list, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    PostMessageW(report, BM_CLICK, 0, 0);
    ASSERT_TRUE(driver::responding(dialog));
    ASSERT_LT(GetTickCount() - shown_at, 1000u) << "too slow to try closing early";
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_FALSE(IsWindowEnabled(report));
    ASSERT_TRUE(driver::wait_until([&] { return IsWindowEnabled(report) != FALSE; },
                                   driver::kStepTimeoutMs));
    // The dialog notes each tick before it acts on it.
    EXPECT_GE(count_starting("QAnalyseDlg::OnTimer: tick "), 3) << "ready before its third tick";
    EXPECT_FALSE(IsWindow(welcome));
    EXPECT_FALSE(driver::file_exists(driver::join_path(p_->inst->dir, L"klvreport.txt")))
        << "the report button worked before the dialog was ready";

    // The rows as computed by hand from the page's figures and the machine.
    const std::vector<Cells> rows = rows_of(list);
    ASSERT_EQ(rows.size(), 32u);
    for (int r = 0; r < 16; ++r)
        EXPECT_EQ(rows[r].label, kLabels[r]) << r;
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD name_size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &name_size);
    EXPECT_EQ(rows[0].text, to_gbk(name));
    EXPECT_TRUE(std::regex_match(rows[3].text, kClockText)) << rows[3].text;
    EXPECT_EQ(rows[15].text, "标准设置");
    EXPECT_EQ(rows[16].label + "|" + rows[16].text, "|测试成绩");
    EXPECT_EQ(rows[17].label, "Tavoli基准得分");
    EXPECT_EQ(rows[17].text, format("%4.2f", mark));
    const struct {
        int row, test;
        const char* label;
        const char* format;
    } speeds[] = {
        {18, 0, "整数性能", "%-6.2f M次/秒 相对速度%-5.2f"},
        {19, 1, "浮点性能", "%-6.2f M次/秒 相对速度%-5.2f"},
        {20, 2, "内存性能", "%-7.1f MB/秒  相对速度%-5.2f"},
        {21, 4, "磁盘性能", "%-6.2f MB/秒  相对速度%-5.2f"},
        {22, 3, "DirectDraw", "%-7.1f MB/秒  相对速度%-5.2f"},
    };
    for (const auto& s : speeds) {
        EXPECT_EQ(rows[s.row].label, s.label);
        EXPECT_EQ(rows[s.row].text, format(s.format, fig.speed[s.test], fig.ratio[s.test]));
    }
    EXPECT_EQ(rows[24].text, "性能分析与升级建议：(与2000年主流台式机相比较)");
    for (int r : {23, 25, 31})
        EXPECT_EQ(rows[r].label + rows[r].text, "") << r;

    // The verdicts' own rules are checked natively; here their rows are filled.
    const char* const verdicts[] = {"总体性能", "总体评价", "建议用途", "性能瓶颈", "内存容量"};
    for (int r = 26; r <= 30; ++r) {
        EXPECT_EQ(rows[r].label, verdicts[r - 26]);
        EXPECT_FALSE(rows[r].text.empty()) << r;
    }

    // The report: the title and one line a row, CR LF throughout, then shown by the shell.
    const std::wstring report_path = driver::join_path(p_->inst->dir, L"klvreport.txt");
    PostMessageW(report, BM_CLICK, 0, 0);
    std::string written;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            written = driver::read_file(report_path).value_or("");
            return split(written, "\r\n").size() == 36;
        },
        driver::kStepTimeoutMs))
        << written;
    const std::vector<std::string> lines = split(written, "\r\n");
    EXPECT_EQ(lines[0] + "|" + lines[1] + "|" + lines[2], "|《Tavoli测试》测试报告：|");
    EXPECT_EQ(lines[35], "") << "the last line ends in CR LF";
    EXPECT_EQ(written.find("\n"), written.find("\r\n") + 1);
    for (int r = 0; r < 32; ++r) {
        const std::string& line = lines[3 + r];
        if (r == 3) {
            EXPECT_TRUE(std::regex_match(line, std::regex("CPU主频:  [0-9]+ *MHz {4}"))) << line;
        } else {
            EXPECT_EQ(line, rows[r].label + ":  " + rows[r].text) << r;
        }
    }
    EXPECT_TRUE(
        driver::wait_until([] { return !report_viewers().empty(); }, driver::kStartTimeoutMs))
        << "the shell did not show the report";
    for (HWND viewer : report_viewers())
        PostMessageW(viewer, WM_CLOSE, 0, 0);

    // The upload without an account: the account dialog first, its checks, then the browser.
    BrowserRedirect browser;
    ASSERT_TRUE(browser.ok());
    DeleteFileW(answers_log().c_str());
    PostMessageW(GetDlgItem(dialog, kUpload), BM_CLICK, 0, 0);
    HWND account = nullptr;
    ASSERT_TRUE(driver::wait_until([&] { return (account = top_window(L"数据上传")) != nullptr; },
                                   driver::kStepTimeoutMs));
    EXPECT_EQ(driver::window_text(GetDlgItem(account, kMail)), L"");
    auto enter = [&](const std::wstring& mail, const std::wstring& password,
                     const std::wstring& repeated) {
        const std::pair<int, const std::wstring*> fields[] = {
            {kMail, &mail}, {kPassword, &password}, {kRepeat, &repeated}};
        for (const auto& [id, text] : fields)
            SendMessageW(GetDlgItem(account, id), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(text->c_str()));
        PostMessageW(GetDlgItem(account, IDOK), BM_CLICK, 0, 0);
    };
    // Every refusal in its order, whatever the fields hold: the message, the dialog kept open
    // with the fields as typed.
    constexpr char kMailLength[] = "Email只能够7~40个字符.", kNotMail[] = "不是一个有效的Email.",
                   kMailCharacters[] = "Email地址中包含非法字符。",
                   kPasswordLength[] = "密码只能够5~15个字符.",
                   kDifferent[] = "两次输入的密码必须一样!",
                   kPasswordCharacters[] = "密码只能由数字和字母构成。";
    const std::wstring mail40 = wrepeat(L"m", 28) + L"@example.com";
    const struct {
        const char* what;
        std::wstring mail, password, repeated;
        const char* message;
    } refusals[] = {
        {"all empty", L"", L"", L"", kMailLength},
        {"6 bytes", L"a@b.cd", L"abc12", L"abc12", kMailLength},
        {"a 255-character address", L"a@" + wrepeat(L"b", 249) + L".com", L"abc12", L"abc12",
         kMailLength},
        {"41 bytes", L"m" + mail40, L"abc12", L"abc12", kMailLength},
        {"40 bytes of GBK", wrepeat(L"邮", 14) + L"@example.com", L"abc12", L"abc12",
         kMailCharacters},
        {"41 bytes of GBK", L"m" + wrepeat(L"邮", 14) + L"@example.com", L"abc12", L"abc12",
         kMailLength},
        {"@ last", L"abcdefg@", L"abc12", L"abc12", kNotMail},
        {"Hangul", L"ab\uAC00@cd.com", L"", L"", kMailCharacters},
        {"an emoji", L"ab\U0001F600@cd.com", L"", L"", kMailCharacters},
        {"the euro sign", L"ab\u20AC@cd.com", L"", L"", kMailCharacters},
        {"40 bytes, no password", mail40, L"", L"", kPasswordLength},
        {"a 255-character password", mail40, wrepeat(L"p", 255), wrepeat(L"p", 255),
         kPasswordLength},
        {"empty repeat", mail40, L"abc12", L"", kPasswordLength},
        {"16 bytes of GBK", mail40, wrepeat(L"密", 8), wrepeat(L"密", 8), kPasswordLength},
        {"15 bytes, different", mail40, wrepeat(L"r", 15), wrepeat(L"r", 14) + L"s", kDifferent},
        {"Hangul against ?", mail40, L"abc\uAC00d", L"abc?d", kPasswordCharacters},
        {"an emoji in both", mail40, L"ab\U0001F600cd", L"ab\U0001F600cd", kPasswordCharacters},
        {"the euro sign in both", mail40, L"abcd\u20AC", L"abcd\u20AC", kPasswordCharacters},
        {"14 bytes of GBK", mail40, wrepeat(L"密", 7), wrepeat(L"密", 7), kPasswordCharacters},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.what);
        enter(r.mail, r.password, r.repeated);
        EXPECT_EQ(answer_box(), r.message);
        ASSERT_TRUE(IsWindow(account)) << "a refused account closes the dialog";
        EXPECT_EQ(driver::window_text(GetDlgItem(account, kMail)), r.mail);
        EXPECT_EQ(driver::window_text(GetDlgItem(account, kRepeat)), r.repeated);
    }
    enter(L"tester@example.com", L"abc12", L"abc12");
    std::string noted;
    ASSERT_TRUE(driver::wait_until(
        [&] { return !(noted = driver::read_file(BrowserRedirect::log()).value_or("")).empty(); },
        driver::kStartTimeoutMs))
        << to_gbk(driver::describe_state(*p_->process));
    EXPECT_FALSE(IsWindow(account));
    ASSERT_EQ(noted.back(), '\n');
    const std::string address = noted.substr(0, noted.find('\n'));
    const std::string url = uitest::config_value(*p_->inst, "[UPLOADURL]") + "?";
    ASSERT_EQ(address.compare(0, url.size(), url), 0) << address;
    const std::string letters = address.substr(url.size());
    ASSERT_EQ(letters.find_first_not_of("ABCDEFGHIJKLMNOP"), std::string::npos) << letters;
    ASSERT_EQ(letters.size() % 2, 0u);
    // Decoded: the account, the speeds and the mode, the machine text, the settings, the time.
    const std::vector<std::string> sent = split(decode_upload(letters), "\n");
    ASSERT_EQ(sent.size(), 3u + 15u + 3u) << decode_upload(letters);
    EXPECT_EQ(sent[0], "tester@example.com abc12");
    EXPECT_EQ(sent[1], "1 1");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        sent[2], m,
        std::regex(
            " *([0-9.]+)  *([0-9.]+)  *([0-9.]+)  *([0-9.]+)  *([0-9.]+) 0 [0-9]+ [0-9]+ [0-9]+")))
        << sent[2];
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(std::stod(m[k + 1]), fig.speed[k], 0.051) << k;
    for (int r = 0; r < 15; ++r)
        if (r != 3) {
            EXPECT_EQ(sent[3 + r], rows[r].text) << r;
        }
    EXPECT_TRUE(std::regex_match(sent[6], kClockText)) << sent[6];
    EXPECT_EQ(sent[18], "标准设置");
    EXPECT_TRUE(std::regex_match(sent[19], std::regex("[0-9]{12}"))) << sent[19];
    EXPECT_EQ(sent[20], "");

    // The upload as the service stored it and shows it.
    std::string sent_speeds[5];
    for (int k = 0; k < 5; ++k)
        sent_speeds[k] = m[k + 1];
    check_stored_upload(sent_speeds, fig, mark);

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(dialog); }, driver::kStepTimeoutMs));
}

TEST_F(FirstStart, BothSimdOptionsShowTheMessageOnceKeepSseAndShowNoScore) {
    ASSERT_NE(p_->sheet, nullptr);
    HWND options = driver::select_page(p_->sheet, 2, kUseSse);
    ASSERT_NE(options, nullptr);
    // Start-up greys out the extensions the processor lacks: SSE is on offer on every machine
    // that runs these tests, 3DNow! only on a processor that has it.
    HWND amd = GetDlgItem(options, kUse3dnow);
    unsigned a = 0, b = 0, c = 0, d = 0;
    const bool has_3dnow = __get_cpuid(0x80000001u, &a, &b, &c, &d) != 0 && (d & bit_3DNOW) != 0;
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, kUseSse)));
    EXPECT_EQ(IsWindowEnabled(amd) != FALSE, has_3dnow);
    // Both boxes, as on a processor with both extensions.
    EnableWindow(amd, TRUE);
    driver::click_button(amd);
    driver::click_button(GetDlgItem(options, kUseSse));
    ASSERT_EQ(driver::check_state(GetDlgItem(options, kUse3dnow)), BST_CHECKED);
    ASSERT_NE(driver::select_page(p_->sheet, 0, kStart), nullptr);

    const int ends = count_starting("End No.");
    post_click(kStart);
    std::optional<driver::MessageBoxInfo> box =
        driver::wait_for_message_box(p_->process->id(), driver::kStepTimeoutMs);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(to_gbk(box->text), "不允许同时使用SSE和3DNOW! \n现在仅使用SSE进行测试。");
    ASSERT_TRUE(driver::press_ok(box->box));
    int boxes = 0, scores = 0;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            // Only this message: a display's refusal of the 16-bit switch asks its own question.
            std::optional<driver::MessageBoxInfo> again =
                driver::find_message_box(p_->process->id());
            boxes += again.has_value() &&
                     to_gbk(again->text) == "不允许同时使用SSE和3DNOW! \n现在仅使用SSE进行测试。";
            scores += top_window(L"Tavoli测试结果") != nullptr;
            return count_starting("End No.") > ends;
        },
        kRunTimeoutMs));
    EXPECT_EQ(boxes, 0) << "the message comes once";
    EXPECT_EQ(scores, 0) << "a run with an option set shows no score";
    EXPECT_EQ(driver::check_state(GetDlgItem(options, kUse3dnow)), BST_UNCHECKED);
    EXPECT_EQ(driver::check_state(GetDlgItem(options, kUseSse)), BST_CHECKED);
    EXPECT_GE(count_starting("mem_block=0 , disk_cached=0 , ddraw_mode=0 , average_method=0 , "
                             "amd_3dnow=1 , intel_sse=1 , test_3times=0"),
              1);
    EXPECT_TRUE(driver::wait_until([] { return enabled(kAnalysis); }, driver::kStepTimeoutMs));
}

TEST_F(FirstStart, AnalysisOfARunWithOptionsOnlySaysItNeedsTheStandardSettings) {
    using namespace analysis;
    ASSERT_NE(p_->sheet, nullptr);
    ASSERT_NE(driver::select_page(p_->sheet, 0, kStart), nullptr);
    post_click(kAnalysis);
    HWND dialog = nullptr;
    ASSERT_TRUE(driver::wait_until(
        [&] { return (dialog = top_window(L"测试结果分析")) != nullptr; }, driver::kStepTimeoutMs));
    HWND list = GetDlgItem(dialog, kList);
    ASSERT_TRUE(driver::wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, kReport)); },
                                   driver::kStepTimeoutMs));
    const std::vector<Cells> rows = rows_of(list);
    ASSERT_EQ(rows.size(), 32u);
    EXPECT_EQ(rows[15].text, "SSE \n");
    EXPECT_EQ(rows[17].label, "总体性能得分");
    EXPECT_EQ(rows[25].text, "必须使用标准测试才能够进行性能分析！");
    for (int r = 26; r <= 30; ++r)
        EXPECT_EQ(rows[r].label + rows[r].text, "") << r;
    // Ready, Escape closes it.
    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(list, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(dialog); }, driver::kStepTimeoutMs));
}

// The result boxes of the test and comparison pages only show figures: typing and pasting into
// them changes nothing.
TEST_F(FirstStart, ResultBoxesTakeNoTypedText) {
    ASSERT_NE(p_->sheet, nullptr);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const std::wstring pasted = L"粘贴\uAC00" + wrepeat(L"9", 300);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t));
    ASSERT_NE(memory, nullptr);
    std::wmemcpy(static_cast<wchar_t*>(GlobalLock(memory)), pasted.c_str(), pasted.size() + 1);
    GlobalUnlock(memory);
    EXPECT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
    CloseClipboard();
    const struct {
        int index, control;
        std::vector<int> boxes;
    } pages[] = {
        {0, kStart, {1017, 1018, 1022, 1024, 1019, 1025, 1021, 1026, 1020, 1023}},
        {1, 1031, {1018, 1019, 1022, 1023, 1024, 1025, 1028, 1029, 1026, 1027}},
    };
    for (const auto& p : pages) {
        HWND page = driver::select_page(p_->sheet, p.index, p.control);
        ASSERT_NE(page, nullptr);
        for (int id : p.boxes) {
            SCOPED_TRACE(id);
            HWND box = GetDlgItem(page, id);
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(GetWindowLongW(box, GWL_STYLE) & ES_READONLY);
            const std::wstring shown = driver::window_text(box);
            for (wchar_t c : L"x测\uAC00" + wrepeat(L"7", 300))
                PostMessageW(box, WM_CHAR, c, 1);
            for (UINT m : {UINT(WM_PASTE), UINT(WM_CUT), UINT(WM_CLEAR)})
                PostMessageW(box, m, 0, 0);
            ASSERT_TRUE(driver::responding(box));
            EXPECT_EQ(driver::window_text(box), shown);
        }
    }
}

// The records after the runs above: two machines stored under names typed as a user types,
// both files written in their formats, a restart that reloads them, a delete that keeps
// machine 2 on its machine, and the machine-information dialog hidden by Enter.
namespace records {
constexpr int kStore = 1031, kDelete = 1034, kInfo = 1040, kMachine1 = 1037, kMachine2 = 1038;
const std::wstring kFirst = L"Wine测试机", kSecond = L"Wine测试机二";
const char kBaseName[] = "基本系统: 联想奔月4000 PIII650E";

int selected(HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

// Typed into machine 1's edit field, character by character.
void type(HWND combo, const std::wstring& name) {
    HWND edit = GetWindow(combo, GW_CHILD);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    PostMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (wchar_t c : name)
        PostMessageW(edit, WM_CHAR, c, 1);
}

// As a user picks an entry: the box notifies the page.
void choose(HWND page, HWND combo, int index) {
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    driver::responding(page);
}

} // namespace records

TEST_F(FirstStart, StoredMachinesJoinBothSelectorsAndBothFilesAndSurviveARestart) {
    using namespace records;
    ASSERT_NE(p_->sheet, nullptr);
    // The run's speeds as the test page shows them (the comparison page has boxes of the same
    // ids).
    HWND test = driver::select_page(p_->sheet, 0, kStart);
    ASSERT_NE(test, nullptr);
    auto shown = [&](int id) { return std::stod(driver::window_text_gbk(GetDlgItem(test, id))); };
    const double integer = shown(1017), floating = shown(1022), disk = shown(1021),
                 memory = shown(1019);
    HWND page = driver::select_page(p_->sheet, 1, kStore);
    ASSERT_NE(page, nullptr);
    HWND one = GetDlgItem(page, kMachine1), two = GetDlgItem(page, kMachine2);
    const std::vector<std::string> fresh = {kBaseName, "当前系统"};
    EXPECT_EQ(driver::combo_items(one), fresh);
    EXPECT_EQ(driver::combo_items(two), fresh);
    EXPECT_TRUE(driver::wait_until([&] { return IsWindowEnabled(GetDlgItem(page, kStore)); },
                                   driver::kStepTimeoutMs));
    const std::wstring dat = driver::join_path(p_->inst->dir, L"kalvit.dat");
    const std::wstring inf = driver::join_path(p_->inst->dir, L"kalvitif.dat");
    const std::string records_before = driver::read_file(dat).value_or("");
    const std::string texts_before = driver::read_file(inf).value_or("");
    ASSERT_FALSE(records_before.empty());

    type(one, kFirst);
    ASSERT_TRUE(driver::wait_until([&] { return driver::window_text(one) == kFirst; },
                                   driver::kStepTimeoutMs));
    PostMessageW(GetDlgItem(page, kStore), BM_CLICK, 0, 0);
    const std::vector<std::string> stored = {kBaseName, to_gbk(kFirst)};
    ASSERT_TRUE(driver::wait_until([&] { return driver::combo_items(one) == stored; }, driver::kStepTimeoutMs))
        << to_gbk(driver::describe_state(*p_->process));
    EXPECT_EQ(driver::combo_items(two), stored) << "the current system is no longer offered";
    EXPECT_EQ(selected(one), 1);
    EXPECT_EQ(selected(two), 0);

    // The numbers line: the run's speeds with two decimals, the SSE flag of the last run, and
    // its display mode.
    const std::string records = driver::read_file(dat).value_or("");
    ASSERT_EQ(records.compare(0, records_before.size(), records_before), 0);
    std::smatch m;
    const std::string name_line = "<" + to_gbk(kFirst) + "\r\n";
    ASSERT_EQ(records.compare(records_before.size(), name_line.size(), name_line), 0) << records;
    const std::string added = records.substr(records_before.size() + name_line.size());
    ASSERT_TRUE(std::regex_match(
        added, m,
        std::regex(
            " ( *[0-9]+\\.[0-9]{2}) ( *[0-9]+\\.[0-9]{2}) ( *[0-9]+\\.[0-9]{2})"
            " ( *[0-9]+\\.[0-9]{2}) ( *[0-9]+\\.[0-9]{2}) 00001000 [0-9]+ [0-9]+ (16|32)\r\n")))
        << added;
    // Integer, floating point and disk show two decimals on the test page too.
    EXPECT_EQ(std::stod(m[1]), integer);
    EXPECT_EQ(std::stod(m[2]), floating);
    EXPECT_EQ(std::stod(m[5]), disk);
    // One decimal on the page, two in the file: the two roundings may part by 0.05 and a bit.
    EXPECT_NEAR(std::stod(m[3]), memory, 0.055);
    const std::string texts = driver::read_file(inf).value_or("");
    ASSERT_EQ(texts.compare(0, texts_before.size(), texts_before), 0);
    const std::string text_added = texts.substr(texts_before.size());
    EXPECT_EQ(text_added.back(), '\0');
    EXPECT_EQ(text_added.find('\0'), text_added.size() - 1);
    for (const wchar_t* left : {L"kalvit.dat.tmp", L"kalvitif.dat.tmp", L"kalvitif.dat.bak"})
        EXPECT_FALSE(driver::file_exists(driver::join_path(p_->inst->dir, left)));

    // A second name: a new record again, after the first.
    type(one, kSecond);
    ASSERT_TRUE(driver::wait_until([&] { return driver::window_text(one) == kSecond; },
                                   driver::kStepTimeoutMs));
    PostMessageW(GetDlgItem(page, kStore), BM_CLICK, 0, 0);
    std::vector<std::string> both = {kBaseName, to_gbk(kFirst), to_gbk(kSecond)};
    ASSERT_TRUE(driver::wait_until([&] { return driver::combo_items(one) == both; }, driver::kStepTimeoutMs));

    // Names set in machine 1's field: at most their first 99 bytes, cut on a whole character,
    // then without leading blanks; characters outside GBK become "?". Refusals change no file.
    const std::string kNoName = "机器名不能叫做'当前系统'\n请重新输入有效的机器名！";
    const auto exists = [](const std::string& name) {
        return "机器名\"" + name + "\"已经存在，是否更新记录？";
    };
    const struct {
        const char* what;
        std::wstring typed;
        std::string stored, message;
    } names[] = {
        {"200 bytes of GBK", wrepeat(L"测", 100), repeat("测", 49), ""},
        {"99 bytes", to_wide(repeat("b", 99)), repeat("b", 99), ""},
        {"100 bytes", to_wide(repeat("c", 100)), repeat("c", 99), ""},
        {"a character across byte 99", to_wide(repeat("d", 98) + "测"), repeat("d", 98), ""},
        {"a character ending at byte 99", to_wide(repeat("e", 97) + "测"), repeat("e", 97) + "测",
         ""},
        {"cut before the blanks go", to_wide("   " + repeat("x", 99)), repeat("x", 96), ""},
        {"trailing blanks", L"尾随空格  ", "尾随空格  ", ""},
        {"Hangul", L"韩\uAC00文", "韩?文", ""},
        {"an emoji", L"笑\U0001F600", "笑??", ""},
        {"the euro sign", L"欧\u20AC", "欧\x80", ""},
        {"empty", L"", "", kNoName},
        {"blanks only", L"     ", "", kNoName},
        {"the current system after blanks", L"  当前系统", "", kNoName},
        {"the base system", to_wide(kBaseName), "", "不能修改'基本系统'\n请重新输入有效的机器名！"},
        {"another Hangul giving the same bytes", L"韩\uAC01文", "", exists("韩?文")},
        {"a stored name", kFirst, "", exists(to_gbk(kFirst))},
    };
    HWND edit = GetWindow(one, GW_CHILD);
    for (const auto& n : names) {
        SCOPED_TRACE(n.what);
        const std::string records_then = driver::read_file(dat).value_or("");
        const std::string texts_then = driver::read_file(inf).value_or("");
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(n.typed.c_str()));
        PostMessageW(GetDlgItem(page, kStore), BM_CLICK, 0, 0);
        if (!n.message.empty()) {
            EXPECT_EQ(answer_box(), n.message);
            EXPECT_EQ(driver::read_file(dat).value_or(""), records_then);
            EXPECT_EQ(driver::read_file(inf).value_or(""), texts_then);
            continue;
        }
        both.push_back(n.stored);
        EXPECT_TRUE(driver::wait_until([&] { return driver::combo_items(one) == both; },
                                       driver::kStepTimeoutMs));
        const std::string now = driver::read_file(dat).value_or("");
        EXPECT_EQ(now.compare(0, records_then.size(), records_then), 0);
        EXPECT_EQ(now.compare(records_then.size(), n.stored.size() + 3, "<" + n.stored + "\r\n"), 0)
            << now.substr(records_then.size());
    }

    // A restart reloads both.
    driver::close_window(p_->frame);
    ASSERT_TRUE(p_->process->wait_exit(driver::kStepTimeoutMs).has_value());
    p_->frame = p_->sheet = nullptr;
    // The upload's account, entered once, is kept in the profile.
    EXPECT_EQ(driver::profile_string(L"up_mail").value_or(L"<none>"), L"tester@example.com");
    EXPECT_EQ(driver::profile_string(L"up_pass").value_or(L"<none>"), L"abc12");
    // The pre-test box of the first start is still checked and was saved: no pre-test this time.
    ASSERT_TRUE(driver::set_profile_dword(L"pre_test_flag", 0));
    p_->answerer.reset();
    p_->process = uitest::start(*p_->inst);
    ASSERT_TRUE(p_->process.has_value());
    p_->answerer.emplace(p_->process->id());
    p_->frame = uitest::wait_for_frame(*p_->process);
    ASSERT_NE(p_->frame, nullptr);
    p_->sheet = driver::find_sheet(p_->frame);
    // Start-up goes on for a moment after the frame shows.
    ASSERT_TRUE(driver::wait_until(
        [&] { return (page = driver::select_page(p_->sheet, 1, kStore, 1000)) != nullptr; },
        driver::kStartTimeoutMs))
        << to_gbk(driver::describe_state(*p_->process));
    std::vector<std::string> offered = both;
    offered.push_back("当前系统");
    EXPECT_EQ(driver::combo_items(GetDlgItem(page, kMachine1)), offered);
    EXPECT_EQ(driver::combo_items(GetDlgItem(page, kMachine2)), offered);
    // Every start begins with the standard options, whatever the last one left; the pre-test
    // box follows the profile.
    HWND options = driver::select_page(p_->sheet, 2, kUseSse);
    ASSERT_NE(options, nullptr);
    for (int id : {kUse3dnow, kUseSse, 1060})
        EXPECT_EQ(driver::check_state(GetDlgItem(options, id)), BST_UNCHECKED) << id;
}

TEST_F(FirstStart, DeletingBeforeMachineTwoKeepsIt) {
    using namespace records;
    ASSERT_NE(p_->sheet, nullptr);
    HWND page = driver::select_page(p_->sheet, 1, kStore);
    ASSERT_NE(page, nullptr);
    HWND one = GetDlgItem(page, kMachine1), two = GetDlgItem(page, kMachine2);
    // After the delete: the list without the first name, and without the current system.
    std::vector<std::string> left = driver::combo_items(one);
    ASSERT_GE(left.size(), 4u);
    ASSERT_EQ(left[1], to_gbk(kFirst));
    ASSERT_EQ(left[2], to_gbk(kSecond));
    left.erase(left.begin() + 1);
    left.pop_back();
    choose(page, two, 2);
    choose(page, one, 1);
    ASSERT_TRUE(driver::wait_until([&] { return IsWindowEnabled(GetDlgItem(page, kDelete)); },
                                   driver::kStepTimeoutMs));
    PostMessageW(GetDlgItem(page, kDelete), BM_CLICK, 0, 0);
    std::optional<driver::MessageBoxInfo> ask =
        driver::wait_for_message_box(p_->process->id(), driver::kStepTimeoutMs);
    ASSERT_TRUE(ask.has_value());
    EXPECT_EQ(to_gbk(ask->text), "确认要删除记录：\n\" " + to_gbk(kFirst) + " \" ?");
    PostMessageW(ask->box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(ask->box, IDYES)));
    ASSERT_TRUE(driver::wait_until([&] { return driver::combo_items(one) == left; }, driver::kStepTimeoutMs));
    EXPECT_EQ(selected(two), 1);
    EXPECT_EQ(ui::combo_item_text(two, selected(two)), to_gbk(kSecond));
    const std::string records =
        driver::read_file(driver::join_path(p_->inst->dir, L"kalvit.dat")).value_or("");
    EXPECT_EQ(records.find("<" + to_gbk(kFirst) + "\r"), std::string::npos);
    EXPECT_NE(records.find("<" + to_gbk(kSecond) + "\r"), std::string::npos);
}

} // namespace
