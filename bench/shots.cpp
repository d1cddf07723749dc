#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/wine/program_run.h"
#include "ui/gbk.h"
// shots <folder of kalvit.exe> <output folder>: starts kalvit.exe from its folder as on its very
// first start, lets the pre-test run, runs one benchmark with the standard options and saves the
// score window as score-window.bmp; then shows each page of the sheet in turn and saves the
// frame's screen area as page<N>-<name>.bmp. Prints the test page's results and the MARK.

namespace {

struct Page {
    int control_id; // a control that only this page has
    const wchar_t* file;
};
constexpr Page kPages[] = {
    {1082, L"page1-test.bmp"},
    {1031, L"page2-compare.bmp"},
    {1060, L"page3-options.bmp"},
    {1068, L"page4-info.bmp"},
};

// The test page's rows as it shows them, top to bottom: label, absolute and relative speed.
struct ResultRow {
    int label, absolute, relative;
};
constexpr ResultRow kRows[] = {
    {1007, 1017, 1018}, // integer
    {1008, 1022, 1024}, // floating point
    {1010, 1019, 1025}, // memory
    {1011, 1021, 1026}, // disk
    {1012, 1020, 1023}, // DirectDraw
};

using namespace driver;

constexpr char kMarkPrefix[] = "+++++OK:\tTavoliMARK=";

int fail(const std::wstring& what) {
    print_error(L"shots: " + what + L"\n");
    return 1;
}

// Columns a text takes on a terminal: two for CJK characters and full-width forms.
size_t columns(const std::wstring& text) {
    size_t n = 0;
    for (wchar_t c : text)
        n += (c >= 0x1100 && (c <= 0x115F || (c >= 0x2E80 && c <= 0xA4CF) ||
                              (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                              (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                              (c >= 0xFFE0 && c <= 0xFFE6)))
                 ? 2
                 : 1;
    return n;
}
std::wstring pad(const std::wstring& text, size_t width) {
    const size_t n = columns(text);
    return n >= width ? text : text + std::wstring(width - n, L' ');
}

// Lets the frame's thread work off the click and paint before the picture is taken.
void settle(HWND frame) {
    for (int i = 0; i < 3; ++i) {
        driver::responding(frame);
        Sleep(300);
    }
}

// The score the log gives after a complete run, as it is written there.
std::optional<std::string> logged_mark(const std::wstring& log) {
    std::optional<std::string> mark;
    for (const std::string& line : driver::read_log_lines(log))
        if (line.rfind(kMarkPrefix, 0) == 0)
            mark = line.substr(sizeof kMarkPrefix - 1);
    return mark;
}

// The ten result texts, row by row as the page shows them.
std::wstring result_table(HWND page) {
    std::vector<std::wstring> labels;
    size_t width = 0;
    for (const ResultRow& row : kRows) {
        labels.push_back(driver::window_text(GetDlgItem(page, row.label)));
        width = std::max(width, columns(labels.back()));
    }
    std::wstring out = L"test page after the run:\n";
    for (const ResultRow& row : kRows) {
        const std::wstring absolute = driver::window_text(GetDlgItem(page, row.absolute));
        const std::wstring relative = driver::window_text(GetDlgItem(page, row.relative));
        out += L"  " + pad(labels[static_cast<size_t>(&row - kRows)], width) + L"  绝对速度 " +
               pad(L"[" + absolute + L"]", 16) + L"  相对速度 [" + relative + L"]\n";
    }
    return out;
}

int shoot(const std::wstring& exe_dir, const std::wstring& out_dir) {
    const std::wstring log = driver::join_path(exe_dir, L"kalvit.log");
    std::optional<StartedProgram> kalvit;
    std::wstring results;
    try {
        kalvit = start_program(exe_dir, log);
        SetForegroundWindow(kalvit->frame);
        // The pre-test runs by itself under the welcome window, which goes when it ends; then
        // one run with the standard options, which ends with the score window.
        print(L"shots: waiting for the pre-test\n");
        wait_until_ready(*kalvit, log, true);
        print(L"shots: running the benchmark\n");
        HWND score = run_to_score(*kalvit, log, 2);
        settle(kalvit->frame);
        if (!driver::capture_window(score, driver::join_path(out_dir, L"score-window.bmp")))
            throw RunFailure(L"cannot save score-window.bmp");
        close_score(score);

        HWND sheet = driver::find_sheet(kalvit->frame);
        for (const Page& page : kPages) {
            const int index = static_cast<int>(&page - kPages);
            HWND shown = driver::select_page(sheet, index, page.control_id);
            if (shown == nullptr)
                throw RunFailure(std::wstring(L"page did not show: ") + page.file);
            settle(kalvit->frame);
            if (!driver::capture_window(kalvit->frame, driver::join_path(out_dir, page.file)))
                throw RunFailure(std::wstring(L"cannot save ") + page.file);
            if (index == 0)
                results = result_table(shown);
        }
        // The information page once more a second later: its animation has moved on.
        Sleep(1000);
        if (!driver::capture_window(kalvit->frame, driver::join_path(out_dir, L"page4-info-1s.bmp")))
            throw RunFailure(L"cannot save page4-info-1s.bmp");
    } catch (const RunFailure& failure) {
        if (kalvit)
            end_program(*kalvit);
        return fail(failure.what());
    }
    end_program(*kalvit);

    std::optional<std::string> mark = logged_mark(log);
    if (!mark)
        return fail(L"the log " + log + L" has no TavoliMARK line");
    print(results + L"TavoliMARK " + to_wide(*mark) + L"\n");
    return 0;
}

int run(const std::wstring& exe_dir, const std::wstring& out_dir) {
    const std::wstring exe = driver::join_path(exe_dir, L"kalvit.exe");
    if (!driver::file_exists(exe))
        return fail(L"no " + exe);
    CreateDirectoryW(out_dir.c_str(), nullptr);

    // As on a first start: no pre-test setting, so that the program runs its pre-test, and the
    // installation folder it is started from. The program writes both when it ends; the user's
    // values go back afterwards.
    SavedProfile saved;
    driver::delete_profile_value(L"pre_test_flag");
    driver::set_profile_string(L"install_dir", exe_dir);
    return shoot(exe_dir, out_dir);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return fail(L"usage: shots <folder of kalvit.exe> <output folder>");
    return run(argv[1], argv[2]);
}
