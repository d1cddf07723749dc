#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "tests/wine/browser_redirect.h"
#include "tests/wine/program_run.h"
#include "tests/wine/switch_refusal.h"
#include "tests/wine/ui_fixture.h"
#include "ui/gbk.h"
// One user's way through the program on an old Windows: a prefix that answers as Windows 98 or
// NT 4.0 with the Chinese code page (tools/journey.sh). A first start with its pre-test, a
// standard run, the machine stored and compared, the analysis with its report and upload, the
// information page's animation, and the end. KALVIT_PROGRAM_WINEDEBUG, when set, is the
// program's WINEDEBUG (the relay trace that tools/journey.sh checks); the driver notes the
// program's process id on its error output, which carries that trace.

namespace {

constexpr int kStart = 32771, kAnalysis = 1040, kStore = 1031, kInfo = 1040, kMachine1 = 1037,
              kMachine2 = 1038, kPicture = 1068, kList = 1084, kReport = 1040, kUpload = 1042;
// The test page's absolute and relative speeds, and the comparison page's figures.
constexpr int kResults[] = {1017, 1018, 1022, 1024, 1019, 1025, 1021, 1026, 1020, 1023};
constexpr int kCompared[] = {1018, 1019, 1022, 1023, 1024, 1025, 1028, 1029, 1026, 1027};

struct Journey {
    driver::StartedProgram& k;
    driver::Installation inst;
    HWND sheet = driver::find_sheet(k.frame);

    std::vector<std::string> log() const { return driver::read_log_lines(inst.log()); }
    bool logged(const std::string& prefix) const {
        for (const std::string& line : log())
            if (line.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
    HWND dialog(const wchar_t* caption) const {
        HWND found = nullptr;
        driver::wait_until([&] { return (found = driver::find_dialog(k.process.id(), caption)); },
                           driver::kStepTimeoutMs);
        return found;
    }
    HWND page(int index, int control) const { return driver::select_page(sheet, index, control); }
};

std::string registry_text(const wchar_t* key, const wchar_t* name) {
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size);
    return to_gbk(value);
}

// The picture of the information page's animation on the screen.
std::vector<COLORREF> picture(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    HDC screen = GetDC(nullptr);
    std::vector<COLORREF> pixels;
    for (int y = r.top; y < r.bottom; y += 3)
        for (int x = r.left; x < r.right; x += 3)
            pixels.push_back(GetPixel(screen, x, y));
    ReleaseDC(nullptr, screen);
    return pixels;
}

void run_journey(Journey& j, const OSVERSIONINFOW& os) {
    const bool win9x = os.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    const DWORD pid = j.k.process.id();
    // First start: the pre-test under the welcome window, then a standard run.
    ASSERT_TRUE(driver::wait_until(
        [&] {
            return driver::run_ended(j.inst.log(), 1) &&
                   driver::find_dialog(pid, driver::kWelcomeCaption) == nullptr &&
                   IsWindowEnabled(j.k.start) && IsWindowEnabled(j.k.stop);
        },
        driver::kRunTimeoutMs))
        << "the pre-test did not end: " << to_gbk(driver::describe_state(j.k.process));
    PostMessageW(j.k.start, BM_CLICK, 0, 0);
    HWND score = nullptr;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            score = driver::find_dialog(pid, driver::kScoreCaption);
            return score != nullptr && driver::run_ended(j.inst.log(), 2);
        },
        driver::kRunTimeoutMs))
        << "no score: " << to_gbk(driver::describe_state(j.k.process));
    EXPECT_TRUE(j.logged("+++++OK:\tTavoliMARK="));
    driver::close_score(score);
    HWND test = j.page(0, kStart);
    ASSERT_NE(test, nullptr);
    for (int id : kResults)
        EXPECT_GT(std::atof(driver::window_text_gbk(GetDlgItem(test, id)).c_str()), 0.0) << id;

    // The machine stored under a name, then compared with the base system.
    HWND compare = j.page(1, kStore);
    ASSERT_NE(compare, nullptr);
    HWND one = GetDlgItem(compare, kMachine1), two = GetDlgItem(compare, kMachine2);
    const std::wstring name = L"旧系统测试机";
    SendMessageW(GetWindow(one, GW_CHILD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    PostMessageW(GetDlgItem(compare, kStore), BM_CLICK, 0, 0);
    ASSERT_TRUE(driver::wait_until(
        [&] {
            const std::vector<std::string> items = driver::combo_items(one);
            return items.size() == 2 && items[1] == to_gbk(name);
        },
        driver::kStepTimeoutMs))
        << to_gbk(driver::describe_state(j.k.process));
    SendMessageW(two, CB_SETCURSEL, 0, 0);
    PostMessageW(compare, WM_COMMAND, MAKEWPARAM(kMachine2, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(two));
    EXPECT_TRUE(driver::wait_until(
        [&] {
            for (int id : kCompared)
                if (std::atof(driver::window_text_gbk(GetDlgItem(compare, id)).c_str()) <= 0)
                    return false;
            return true;
        },
        driver::kStepTimeoutMs));
    PostMessageW(GetDlgItem(compare, kInfo), BM_CLICK, 0, 0);
    HWND info = j.dialog(L"机器信息");
    EXPECT_NE(info, nullptr) << "no machine information";
    driver::close_window(info);

    // The analysis: the machine's information from the system's branch, the report, the upload.
    ASSERT_NE(j.page(0, kStart), nullptr);
    PostMessageW(GetDlgItem(test, kAnalysis), BM_CLICK, 0, 0);
    HWND analysis = j.dialog(L"测试结果分析");
    ASSERT_NE(analysis, nullptr);
    HWND list = GetDlgItem(analysis, kList), report = GetDlgItem(analysis, kReport);
    ASSERT_TRUE(driver::wait_until([&] { return IsWindowEnabled(report) != FALSE; },
                                   driver::kStepTimeoutMs));
    std::vector<std::string> rows;
    for (int r = 0; r < 32; ++r)
        rows.push_back(to_gbk(driver::list_item_text(list, r, 1).value_or(L"<none>")));
    char os_text[64];
    std::snprintf(os_text, sizeof os_text, "%s %lu.%lu.%u", win9x ? "Win98" : "WinNT",
                  os.dwMajorVersion, os.dwMinorVersion, unsigned(os.dwBuildNumber & 0xFFFF));
    EXPECT_EQ(rows[13], os_text);
    if (win9x) {
        const wchar_t bios[] = L"Enum\\Root\\*PNP0C01\\0000";
        const std::string version = registry_text(bios, L"BIOSVersion");
        EXPECT_FALSE(version.empty()) << "the prefix has no BIOS values (tools/wine-prefix.sh)";
        EXPECT_EQ(rows[9], version);
        EXPECT_EQ(rows[10], registry_text(bios, L"BIOSDate"));
        // The video memory: the surfaces' memory and 1.5 times the primary surface's on 9x.
        int vmem_k = 0, w = 0, h = 0, bits = 0;
        for (const std::string& line : j.log())
            std::sscanf(line.c_str(), "Video: total_vmem=%d K , %dx%dx%d", &vmem_k, &w, &h, &bits);
        ASSERT_GT(w, 0) << "no Video line in the log";
        const double primary = double(w) * h * (bits + 1) / 8;
        EXPECT_EQ(rows[6], std::to_string(int((vmem_k * 1024.0 + primary * 1.5) / 1048576)) + " MB")
            << "with the NT family's 1.25: " << int((vmem_k * 1024.0 + primary * 1.25) / 1048576);
    }
    const std::wstring report_path = driver::join_path(j.inst.dir, L"klvreport.txt");
    PostMessageW(report, BM_CLICK, 0, 0);
    std::string written;
    EXPECT_TRUE(driver::wait_until(
        [&] { return (written = driver::read_file(report_path).value_or("")).size() > 200; },
        driver::kStepTimeoutMs));
    EXPECT_EQ(written.rfind("\r\n《Tavoli测试》测试报告：\r\n", 0), 0u) << written;
    EXPECT_NE(written.find("操作系统:  " + std::string(os_text) + "\r\n"), std::string::npos)
        << written;
    const std::string upload_url = uitest::config_value(j.inst, "[UPLOADURL]") + "?";
    ASSERT_EQ(upload_url.rfind("http://127.0.0.1:", 0), 0u) << "the upload must stay on loopback";
    PostMessageW(GetDlgItem(analysis, kUpload), BM_CLICK, 0, 0);
    HWND account = j.dialog(L"数据上传");
    ASSERT_NE(account, nullptr);
    for (const auto& [id, text] : {std::pair{1085, L"tester@example.com"}, {1086, L"abc12"},
                                   {1087, L"abc12"}})
        SendMessageW(GetDlgItem(account, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    PostMessageW(GetDlgItem(account, IDOK), BM_CLICK, 0, 0);
    std::string noted;
    EXPECT_TRUE(driver::wait_until(
        [&] { return !(noted = driver::read_file(BrowserRedirect::log()).value_or("")).empty(); },
        driver::kStartTimeoutMs));
    EXPECT_EQ(noted.rfind(upload_url, 0), 0u) << noted;
    driver::close_window(analysis);
    EXPECT_TRUE(driver::wait_until([&] { return !IsWindow(analysis); }, driver::kStepTimeoutMs));

    // The information page: its animation moves on, on 9x from the idle loop too.
    HWND about = j.page(3, kPicture);
    ASSERT_NE(about, nullptr);
    SetForegroundWindow(j.k.frame);
    ASSERT_TRUE(driver::wait_until([&] { return j.logged("QAboutDlg: Has been SetActive()"); },
                                   driver::kStepTimeoutMs));
    const std::vector<COLORREF> first = picture(GetDlgItem(about, kPicture));
    EXPECT_TRUE(driver::wait_until([&] { return picture(GetDlgItem(about, kPicture)) != first; },
                                   driver::kStepTimeoutMs))
        << "the animation stands still";
    if (win9x)
        EXPECT_TRUE(driver::wait_until([&] { return j.logged("Idle: drew frame "); },
                                       driver::kStepTimeoutMs))
            << "the idle loop drew no frame of the animation";
    else
        EXPECT_FALSE(j.logged("Idle: drew frame ")) << "the NT family animates from its timer";
}

TEST(Journey, FirstStartRunStoreCompareAnalyseUploadInformationPage) {
    OSVERSIONINFOW os{};
    os.dwOSVersionInfoSize = sizeof os;
    ASSERT_TRUE(GetVersionExW(&os));
    ASSERT_TRUE(os.dwMajorVersion == 4 && (os.dwPlatformId == VER_PLATFORM_WIN32_NT ||
                                           os.dwMinorVersion == 10))
        << "not a prefix that answers as Windows 98 or NT 4.0 (tools/journey.sh makes them)";
    driver::ProfileGuard profile;
    BrowserRedirect browser;
    ASSERT_TRUE(browser.ok());
    std::optional<driver::Installation> inst = uitest::prepare(L"journey");
    ASSERT_TRUE(inst.has_value());
    ASSERT_TRUE(driver::delete_profile_value(L"pre_test_flag"));
    wchar_t debug[64] = {};
    if (GetEnvironmentVariableW(L"KALVIT_PROGRAM_WINEDEBUG", debug, 64) > 0)
        SetEnvironmentVariableW(L"WINEDEBUG", debug);
    std::optional<driver::StartedProgram> k;
    try {
        k.emplace(driver::start_program(inst->dir, inst->log()));
    } catch (const driver::RunFailure& failure) {
        FAIL() << to_gbk(failure.what());
    }
    std::fprintf(stderr, "\njourney: kalvit.exe is process %04lx\n", k->process.id());
    std::fflush(stderr);
    SwitchRefusalAnswerer answerer(k->process.id());
    Journey j{*k, *inst};
    run_journey(j, os);
    // The end: the frame closes and the program ends well.
    driver::close_window(k->frame);
    EXPECT_EQ(k->process.wait_exit(driver::kStepTimeoutMs), std::optional<DWORD>(0))
        << to_gbk(driver::describe_state(k->process));
}

} // namespace
