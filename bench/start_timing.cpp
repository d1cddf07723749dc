#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tests/wine/program_run.h"
#include "ui/gbk.h"
// bench-start <folder of kalvit.exe> [--runs N]: times kalvit.exe's start-up from outside and
// reads how much memory it takes. N starts with the pre-test switched off give the times from
// CreateProcess to the welcome window and to the main frame being visible; N more starts, each
// with one standard run clicked on the start button, give the peak working set of a start plus
// a run. Prints every figure, the medians, and kalvit.exe's size.

namespace {

using namespace driver;

constexpr wchar_t kWelcomeText[] = L"正在初始化，请稍候......";
constexpr int kWelcomeTextId = 1079;
constexpr DWORD kPollMs = 2;
constexpr DWORD kRunPollMs = 250;
constexpr wchar_t kRefusalPrefix[] = L"*****Error: SetDisplayMode()失败! ";
constexpr wchar_t kGoOnQuestion[] = L"继续进行测试吗？";
// The program's own message boxes are looked for less often: their window walk costs more than
// the poll for the two windows timed.
constexpr int kPollsPerDialogCheck = 50;
constexpr double kMegabyte = 1024.0 * 1024.0; // the MB of the figures printed
#ifdef _WIN64
constexpr wchar_t kBuild[] = L"win64";
#else
constexpr wchar_t kBuild[] = L"win32";
#endif

void complain(const std::wstring& text) { print_error(L"bench-start: " + text + L"\n"); }

// Milliseconds since it was made, from the performance counter.
class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double ms() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
               static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_{}, start_{};
};

// A window's text as the system keeps it, read without a message: start-up keeps the program
// busy, and a message would wait for it.
std::wstring kept_text(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

bool is_welcome(HWND hwnd) {
    HWND text = GetDlgItem(hwnd, kWelcomeTextId);
    return class_name(hwnd) == L"#32770" && text != nullptr && kept_text(text) == kWelcomeText;
}

struct StartTimes {
    double welcome_ms = 0, frame_ms = 0;
};

// One start as the user makes it, without the log (a developer's switch that costs writes): the
// times until the welcome window and the main frame are visible. The program is closed once its
// start-up has ended.
StartTimes timed_start(const std::wstring& exe_dir) {
    driver::set_profile_dword(L"pre_test_flag", 0);
    driver::set_profile_string(L"install_dir", exe_dir);
    const std::wstring exe = driver::join_path(exe_dir, L"kalvit.exe");

    const Stopwatch clock;
    std::optional<Process> process = Process::start(exe, L"", exe_dir, L"");
    if (!process)
        throw RunFailure(L"cannot start " + exe);
    StartedProgram kalvit{std::move(*process)};
    std::optional<double> welcome_ms, frame_ms;
    try {
        for (int poll = 0;; ++poll) {
            for (HWND hwnd : top_windows(kalvit.process.id(), true)) {
                if (class_name(hwnd) == L"CMainFrame") {
                    frame_ms = clock.ms();
                    kalvit.frame = hwnd;
                } else if (!welcome_ms && is_welcome(hwnd)) {
                    welcome_ms = clock.ms();
                }
            }
            if (frame_ms)
                break;
            if (!kalvit.process.running())
                throw RunFailure(L"kalvit.exe " + describe_state(kalvit.process));
            if (poll % kPollsPerDialogCheck == 0)
                if (std::optional<std::wstring> box = other_dialog(kalvit.process.id()))
                    throw RunFailure(L"kalvit.exe shows " + *box);
            if (clock.ms() >= kStartTimeoutMs)
                throw RunFailure(L"no main frame within " +
                                 std::to_wstring(kStartTimeoutMs / 1000) + L" s; kalvit.exe " +
                                 describe_state(kalvit.process));
            Sleep(kPollMs);
        }
        if (!welcome_ms)
            throw RunFailure(L"the main frame showed without a welcome window before it");
        // With the pre-test off, start-up ends by closing the welcome window.
        if (!wait_until(
                [&] { return find_dialog(kalvit.process.id(), kWelcomeCaption) == nullptr; },
                kStartTimeoutMs))
            throw RunFailure(L"the welcome window stayed after the frame showed");
    } catch (...) {
        end_program(kalvit);
        throw;
    }
    end_program(kalvit);
    return {*welcome_ms, *frame_ms};
}

// The peak working set so far. Wine answers for another process of the prefix with the high-water
// mark of its resident memory (VmHWM of the Linux process), so the figure includes what Wine's own
// libraries take in the process.
SIZE_T peak_working_set(const Process& process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process.handle(), &counters, sizeof counters))
        throw RunFailure(L"GetProcessMemoryInfo failed with error " +
                         std::to_wstring(GetLastError()));
    if (counters.PeakWorkingSetSize == 0)
        throw RunFailure(L"GetProcessMemoryInfo gives no peak working set for kalvit.exe");
    return counters.PeakWorkingSetSize;
}

// A display that refuses the switch to 1024 × 768 at 16 bits (as a 32-bit prefix's does) has the
// program report it and ask whether to go on; the answer is Yes, and the DirectDraw test runs in
// the screen's own mode. True when such a box was answered.
bool answer_switch_refusal(DWORD pid, bool& refused) {
    std::optional<MessageBoxInfo> box = find_message_box(pid);
    if (!box)
        return false;
    int button = 0;
    if (box->text.starts_with(kRefusalPrefix))
        button = IDOK;
    else if (box->text == kGoOnQuestion)
        button = IDYES;
    HWND control = button != 0 ? GetDlgItem(box->box, button) : nullptr;
    if (control == nullptr)
        return false;
    refused = true;
    PostMessageW(box->box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
    wait_until([&] { return !IsWindow(box->box) || !IsWindowVisible(box->box); }, kStepTimeoutMs);
    return true;
}

// A failure the log tells of, other than the refusal of the mode switch.
std::optional<std::string> logged_error(const std::wstring& log) {
    for (const std::string& line : driver::read_log_lines(log))
        if (line.rfind("*****Error:", 0) == 0 && !to_wide(line).starts_with(kRefusalPrefix))
            return line;
    return std::nullopt;
}

struct RunEnd {
    HWND score = nullptr;
    bool refused = false; // the display refused the DirectDraw test's mode
};

// Clicks the start button and waits for the score window and the log's end of run 1, as
// run_to_score does, answering a refusal of the mode switch on the way.
RunEnd run_to_score_in_any_mode(const StartedProgram& kalvit, const std::wstring& log) {
    PostMessageW(kalvit.start, BM_CLICK, 0, 0);
    RunEnd end;
    const DWORD start = GetTickCount();
    for (;;) {
        end.score = find_dialog(kalvit.process.id(), kScoreCaption);
        if (end.score != nullptr && run_ended(log, 1))
            return end;
        if (!kalvit.process.running())
            throw RunFailure(L"the run showed no score window: kalvit.exe " +
                             describe_state(kalvit.process));
        if (answer_switch_refusal(kalvit.process.id(), end.refused))
            continue;
        if (std::optional<std::wstring> box = other_dialog(kalvit.process.id()))
            throw RunFailure(L"the run showed no score window: kalvit.exe shows " + *box);
        if (std::optional<std::string> error = logged_error(log))
            throw RunFailure(L"the run showed no score window: the log says " + to_wide(*error));
        if (GetTickCount() - start >= kRunTimeoutMs)
            throw RunFailure(L"the run showed no score window within " +
                             std::to_wstring(kRunTimeoutMs / 60000) + L" minutes; kalvit.exe " +
                             describe_state(kalvit.process));
        Sleep(kRunPollMs);
    }
}

struct PeakMemory {
    SIZE_T after_start = 0, after_run = 0;
    bool refused = false;
};

// One start and one standard run: the peak working set once start-up has ended and again after
// the run, just before the program is closed.
PeakMemory measured_run(const std::wstring& exe_dir) {
    const std::wstring log = driver::join_path(exe_dir, L"bench-start.log");
    driver::set_profile_dword(L"pre_test_flag", 0);
    driver::set_profile_string(L"install_dir", exe_dir);

    StartedProgram kalvit = start_program(exe_dir, log);
    PeakMemory peak;
    try {
        wait_until_ready(kalvit, log, false);
        peak.after_start = peak_working_set(kalvit.process);
        const RunEnd end = run_to_score_in_any_mode(kalvit, log);
        peak.refused = end.refused;
        close_score(end.score);
        peak.after_run = peak_working_set(kalvit.process);
    } catch (...) {
        end_program(kalvit);
        throw;
    }
    end_program(kalvit);
    return peak;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::wstring fixed(double value, int decimals) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.*f", decimals, value);
    return text;
}

struct Row {
    const wchar_t* name;
    int decimals;
    std::vector<double> values;
};

// "1 2 3", the figures of every start in their order.
std::wstring listed(const Row& row) {
    std::wstring out;
    for (double value : row.values)
        out += (out.empty() ? L"" : L" ") + fixed(value, row.decimals);
    return out;
}

void print_table(const std::vector<Row>& rows, int runs, long long exe_bytes, int refusals) {
    constexpr size_t kName = 40, kCell = 8;
    std::wstring out = table_header(kBuild, runs, kName, kCell);
    for (const Row& row : rows) {
        out += pad_right(row.name, kName);
        for (double value : row.values)
            out += pad_left(fixed(value, row.decimals), kCell);
        out += pad_left(fixed(median(row.values), row.decimals), kCell + 2) + L"\n";
    }
    out += pad_right(L"kalvit.exe, bytes", kName) + std::to_wstring(exe_bytes) + L"\n";
    const std::wstring refused =
        refusals == 0 ? std::wstring()
                      : L"; the display refused 1024×768 at 16 bits in " +
                            std::to_wstring(refusals) + L" of " + std::to_wstring(runs) +
                            L" runs, whose DirectDraw test ran in the screen's own mode";
    // The summary line that tools/bench-start.sh gathers from each build.
    const Row &frame = rows[0], &welcome = rows[1], &peak = rows[2], &started = rows[3];
    out += std::wstring(L"\n") + kBuild + L": start→frame median " +
           fixed(median(frame.values), 0) + L" ms (runs: " + listed(frame) +
           L"), start→welcome median " + fixed(median(welcome.values), 0) + L" ms (runs: " +
           listed(welcome) + L"), kalvit.exe " + std::to_wstring(exe_bytes) +
           L" bytes, peak working set median " + fixed(median(peak.values), 1) + L" MB (runs: " +
           listed(peak) + L"; after start-up alone median " + fixed(median(started.values), 1) +
           L" MB" + refused + L")\n";
    print(out);
}

std::optional<long long> file_size(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int bench(const std::wstring& exe_dir, int runs) {
    const std::optional<long long> exe_bytes = file_size(driver::join_path(exe_dir, L"kalvit.exe"));
    if (!exe_bytes) {
        complain(L"no kalvit.exe in " + exe_dir);
        return 1;
    }
    SavedProfile saved;
    Row frame{L"start→frame visible, ms", 0, {}};
    Row welcome{L"start→welcome visible, ms", 0, {}};
    Row peak{L"peak working set, start and a run, MB", 1, {}};
    Row started{L"peak working set, start-up alone, MB", 1, {}};
    int refusals = 0;
    try {
        for (int i = 1; i <= runs; ++i) {
            print(L"bench-start: start " + std::to_wstring(i) + L"/" + std::to_wstring(runs) +
                  L", timed\n");
            const StartTimes times = timed_start(exe_dir);
            frame.values.push_back(times.frame_ms);
            welcome.values.push_back(times.welcome_ms);
        }
        for (int i = 1; i <= runs; ++i) {
            print(L"bench-start: start " + std::to_wstring(i) + L"/" + std::to_wstring(runs) +
                  L" with one run, for its memory\n");
            const PeakMemory memory = measured_run(exe_dir);
            peak.values.push_back(static_cast<double>(memory.after_run) / kMegabyte);
            started.values.push_back(static_cast<double>(memory.after_start) / kMegabyte);
            refusals += memory.refused ? 1 : 0;
        }
    } catch (const RunFailure& failure) {
        complain(failure.what());
        return 1;
    }
    print_table({frame, welcome, peak, started}, runs, *exe_bytes, refusals);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::optional<driver::BenchArgs> args = driver::bench_args(argc, argv, L"bench-start", 5);
    return args ? bench(args->exe_dir, args->runs) : 2;
}
