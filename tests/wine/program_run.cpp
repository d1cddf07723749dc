#include "tests/wine/program_run.h"

#include <cstdio>

#include "ui/gbk.h"

namespace driver {

namespace {
constexpr DWORD kPollMs = 250;
constexpr DWORD kCloseTimeoutMs = 30000;
constexpr int kStartButton = 32771;
constexpr int kStopButton = 32772;
constexpr int kScoreButton = IDCANCEL;

void put(HANDLE out, const std::wstring& text) {
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}
} // namespace

void print(const std::wstring& text) { put(GetStdHandle(STD_OUTPUT_HANDLE), text); }
void print_error(const std::wstring& text) { put(GetStdHandle(STD_ERROR_HANDLE), text); }

std::wstring caption(HWND hwnd) {
    wchar_t text[256];
    const int n = GetWindowTextW(hwnd, text, 256);
    return std::wstring(text, n > 0 ? static_cast<size_t>(n) : 0);
}

HWND find_dialog(DWORD pid, const wchar_t* wanted) {
    for (HWND hwnd : top_windows(pid, true))
        if (class_name(hwnd) == L"#32770" && caption(hwnd) == wanted)
            return hwnd;
    return nullptr;
}

std::optional<std::wstring> other_dialog(DWORD pid) {
    for (HWND hwnd : top_windows(pid, true)) {
        if (class_name(hwnd) != L"#32770")
            continue;
        const std::wstring text = caption(hwnd);
        if (text == kWelcomeCaption || text == kScoreCaption)
            continue;
        HWND message = GetDlgItem(hwnd, 0xFFFF);
        return L"\"" + text + L"\"" +
               (message != nullptr ? L": " + window_text(message) : std::wstring());
    }
    return std::nullopt;
}

void wait_for_run(const Process& kalvit, const std::wstring& log, const std::wstring& what,
                  const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return;
        if (!kalvit.running())
            throw RunFailure(what + L": kalvit.exe " + describe_state(kalvit));
        if (std::optional<std::wstring> box = other_dialog(kalvit.id()))
            throw RunFailure(what + L": kalvit.exe shows " + *box);
        for (const std::string& line : read_log_lines(log))
            if (line.rfind("*****Error:", 0) == 0)
                throw RunFailure(what + L": the log says " + to_wide(line));
        if (GetTickCount() - start >= kRunTimeoutMs)
            throw RunFailure(what + L": not within " + std::to_wstring(kRunTimeoutMs / 60000) +
                             L" minutes; kalvit.exe " + describe_state(kalvit));
        Sleep(kPollMs);
    }
}

SavedProfile::SavedProfile()
    : pre_test_(profile_dword(L"pre_test_flag")), install_dir_(profile_string(L"install_dir")) {}

SavedProfile::~SavedProfile() {
    if (pre_test_)
        set_profile_dword(L"pre_test_flag", *pre_test_);
    else
        delete_profile_value(L"pre_test_flag");
    if (install_dir_)
        set_profile_string(L"install_dir", *install_dir_);
    else
        delete_profile_value(L"install_dir");
}

StartedProgram start_program(const std::wstring& exe_dir, const std::wstring& log) {
    const std::wstring exe = join_path(exe_dir, L"kalvit.exe");
    std::optional<Process> process = Process::start(exe, L"", exe_dir, log);
    if (!process)
        throw RunFailure(L"cannot start " + exe);
    StartedProgram kalvit{std::move(*process)};
    kalvit.frame = wait_for_frame(kalvit.process);
    HWND sheet = kalvit.frame != nullptr ? find_sheet(kalvit.frame) : nullptr;
    kalvit.page = sheet != nullptr ? visible_page(sheet) : nullptr;
    if (kalvit.page != nullptr) {
        kalvit.start = GetDlgItem(kalvit.page, kStartButton);
        kalvit.stop = GetDlgItem(kalvit.page, kStopButton);
    }
    if (kalvit.start == nullptr || kalvit.stop == nullptr) {
        const std::wstring state = describe_state(kalvit.process);
        end_program(kalvit);
        throw RunFailure(L"no main frame with its sheet and test page appeared; kalvit.exe " +
                         state);
    }
    return kalvit;
}

bool run_ended(const std::wstring& log, int number) {
    for (const std::string& line : read_log_lines(log)) {
        int n = 0;
        if (std::sscanf(line.c_str(), "End No.%d test at", &n) == 1 && n == number)
            return true;
    }
    return false;
}

void wait_until_ready(const StartedProgram& kalvit, const std::wstring& log, bool pre_test) {
    // Without a pre-test the welcome window goes as the frame shows; with one it stays until
    // the pre-test has ended and given the stop button back.
    wait_for_run(kalvit.process, log,
                 pre_test ? L"the pre-test did not end" : L"the program did not start", [&] {
                     return find_dialog(kalvit.process.id(), kWelcomeCaption) == nullptr &&
                            IsWindowEnabled(kalvit.stop) && IsWindowEnabled(kalvit.start) &&
                            (!pre_test || run_ended(log, 1));
                 });
}

HWND run_to_score(const StartedProgram& kalvit, const std::wstring& log, int number) {
    PostMessageW(kalvit.start, BM_CLICK, 0, 0);
    HWND score = nullptr;
    wait_for_run(kalvit.process, log, L"the run showed no score window", [&] {
        score = find_dialog(kalvit.process.id(), kScoreCaption);
        return score != nullptr && run_ended(log, number);
    });
    return score;
}

void close_score(HWND score) {
    PostMessageW(score, WM_COMMAND, MAKEWPARAM(kScoreButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(score, kScoreButton)));
    if (!wait_until([&] { return !IsWindow(score) || !IsWindowVisible(score); }, kStepTimeoutMs))
        throw RunFailure(L"the score window did not close on its button");
}

void end_program(StartedProgram& kalvit) {
    if (kalvit.frame != nullptr && IsWindow(kalvit.frame))
        close_window(kalvit.frame);
    if (!kalvit.process.wait_exit(kCloseTimeoutMs)) {
        print_error(L"kalvit.exe did not end after WM_CLOSE; terminating it\n");
        kalvit.process.terminate();
    }
}

std::optional<BenchArgs> bench_args(int argc, wchar_t** argv, const wchar_t* program,
                                    int default_runs) {
    BenchArgs args{L"", default_runs};
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--runs" && i + 1 < argc)
            args.runs = _wtoi(argv[++i]);
        else if (args.exe_dir.empty() && !arg.starts_with(L"--"))
            args.exe_dir = arg;
        else
            ok = false;
    }
    if (!ok || args.exe_dir.empty() || args.runs < 1) {
        print_error(std::wstring(program) + L": usage: " + program +
                    L" <folder of kalvit.exe> [--runs N]\n");
        return std::nullopt;
    }
    return args;
}

std::wstring pad_left(const std::wstring& text, size_t width) {
    return text.size() >= width ? text : std::wstring(width - text.size(), L' ') + text;
}

std::wstring pad_right(const std::wstring& text, size_t width) {
    return text.size() >= width ? text : text + std::wstring(width - text.size(), L' ');
}

std::wstring table_header(const std::wstring& title, int runs, size_t name_width,
                          size_t cell_width) {
    std::wstring out = L"\n" + title + L", " + std::to_wstring(runs) + L" program start" +
                       (runs == 1 ? L"" : L"s") + L" each\n" + pad_right(L"", name_width);
    for (int i = 1; i <= runs; ++i)
        out += pad_left(L"#" + std::to_wstring(i), cell_width);
    return out + pad_left(L"median", cell_width + 2) + L"\n";
}

} // namespace driver
