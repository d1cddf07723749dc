#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "tests/wine/driver.h"
// What the console tools that drive whole runs of kalvit.exe share: console output, the
// program's dialogs, waiting on a run that may fail in several ways, the profile values they
// change, and ending the program they started.

namespace driver {

constexpr wchar_t kWelcomeCaption[] = L"欢迎使用《Tavoli测试》";
constexpr wchar_t kScoreCaption[] = L"Tavoli测试结果";
// A benchmark run takes about a minute under Wine; a slow or busy machine may need far longer.
constexpr DWORD kRunTimeoutMs = 20 * 60 * 1000;

// Text for this console: UTF-16 to a console, UTF-8 to a pipe or file.
void print(const std::wstring& text);
void print_error(const std::wstring& text);

// The caption of a top-level window, read without sending it a message (the program may be
// inside a timed loop and slow to answer).
std::wstring caption(HWND hwnd);
// The visible dialog window of the process with that caption, null when there is none.
HWND find_dialog(DWORD pid, const wchar_t* wanted);
// A visible dialog that is neither the welcome nor the score window: a message the program waits
// on. Its caption and text.
std::optional<std::wstring> other_dialog(DWORD pid);

class RunFailure {
public:
    explicit RunFailure(std::wstring what) : what_(std::move(what)) {}
    const std::wstring& what() const { return what_; }

private:
    std::wstring what_;
};

// Polls until done() holds; throws RunFailure (what, and why) when the program ends, shows a
// message, logs a failed test, or kRunTimeoutMs pass.
void wait_for_run(const Process& kalvit, const std::wstring& log, const std::wstring& what,
                  const std::function<bool()>& done);

// The program's pre-test setting and installation folder (which it writes when it ends), put
// back as they were when this goes.
class SavedProfile {
public:
    SavedProfile();
    SavedProfile(const SavedProfile&) = delete;
    SavedProfile& operator=(const SavedProfile&) = delete;
    ~SavedProfile();

private:
    std::optional<DWORD> pre_test_;
    std::optional<std::wstring> install_dir_;
};

// kalvit.exe started from its folder, with its frame and the test page's start and stop buttons.
struct StartedProgram {
    Process process;
    HWND frame = nullptr, page = nullptr, start = nullptr, stop = nullptr;
};
// Starts exe_dir's kalvit.exe logging to log; throws RunFailure when it does not start or shows
// no frame with its sheet and test page.
StartedProgram start_program(const std::wstring& exe_dir, const std::wstring& log);

// True once the log has the End line of run `number`.
bool run_ended(const std::wstring& log, int number);
// Waits until the welcome window has gone and both buttons are enabled; after a pre-test, also
// until the log has ended run 1.
void wait_until_ready(const StartedProgram& kalvit, const std::wstring& log, bool pre_test);
// Clicks the start button and waits until the score window shows and the log has ended run
// `number`. Returns the score window.
HWND run_to_score(const StartedProgram& kalvit, const std::wstring& log, int number);
// Closes the score window with its button; throws RunFailure when it stays.
void close_score(HWND score);

// Ends the program: WM_CLOSE to its frame, and only when it does not end, its own handle.
void end_program(StartedProgram& kalvit);

// The command line of the benchmark drivers: "<folder of kalvit.exe> [--runs N]". Empty (after
// printing the usage) when it is wrong.
struct BenchArgs {
    std::wstring exe_dir;
    int runs = 0;
};
std::optional<BenchArgs> bench_args(int argc, wchar_t** argv, const wchar_t* program,
                                    int default_runs);

// The benchmark drivers' tables: text padded to a width, and the header line of a table with
// one column per program start and the median last.
std::wstring pad_left(const std::wstring& text, size_t width);
std::wstring pad_right(const std::wstring& text, size_t width);
std::wstring table_header(const std::wstring& title, int runs, size_t name_width,
                          size_t cell_width);

} // namespace driver
