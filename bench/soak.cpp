#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/process_counters.h"
#include "tests/wine/program_run.h"
#include "ui/gbk.h"
// soak <folder of kalvit.exe> [--runs N] [--leak-bitmap N]: one start of kalvit.exe with the
// pre-test off and N standard runs in it. Between runs it goes through all four pages, changes
// the weighting and the chart's auto-scale on the options page, picks other machines in both
// selectors of the comparison page with the machine-information dialog open, stores the current
// machine under a name and deletes it again (every third run), and opens and closes the
// analysis. After each run one line: GDI objects, windows, handles, working set, private bytes
// and the run's time, then the GDI objects each step added; at the end the growth after run 1. With
// --leak-bitmap N the program is made to leak N bitmaps after each run, which the GDI figures must
// show.

namespace {

using namespace driver;
using counters::Counts;

constexpr int kTestPage = 0, kComparePage = 1, kSetupPage = 2, kAboutPage = 3;
constexpr int kStartButton = 32771, kAnalysisButton = 1040;
constexpr int kStoreButton = 1031, kDeleteButton = 1034, kInfoButton = 1040;
constexpr int kMachine1 = 1037, kMachine2 = 1038;
constexpr int kWeightings[] = {1050, 1051, 1052}; // business, average, games
constexpr int kAutoScale = 1061, kAboutHelp = 1041;
constexpr int kReportButton = 1040; // the analysis dialog's, enabled once it is ready
constexpr wchar_t kInfoCaption[] = L"机器信息";
constexpr wchar_t kAnalysisCaption[] = L"测试结果分析";
constexpr wchar_t kBoxCaption[] = L"kalvit"; // the program's message boxes
constexpr wchar_t kRefusalPrefix[] = L"*****Error: SetDisplayMode()失败! ";
constexpr wchar_t kGoOnQuestion[] = L"继续进行测试吗？";
constexpr DWORD kPollMs = 250;
constexpr int kStoreEvery = 3;
constexpr DWORD kSettleMs = 500;

void complain(const std::wstring& text) {
    print_error(L"soak: " + text + L"\n");
}

LRESULT send(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, kStepTimeoutMs,
                             &result))
        throw RunFailure(L"the program did not answer message " + std::to_wstring(message));
    return static_cast<LRESULT>(result);
}

void wait_for(const wchar_t* what, const std::function<bool()>& done) {
    if (!wait_until(done, kStepTimeoutMs))
        throw RunFailure(std::wstring(what) + L" within " + std::to_wstring(kStepTimeoutMs / 1000) +
                         L" s");
}

class Session {
public:
    Session(StartedProgram& kalvit) : kalvit_(kalvit), sheet_(find_sheet(kalvit.frame)) {}

    HWND page(int index, int control) {
        HWND page = select_page(sheet_, index, control);
        if (page == nullptr)
            throw RunFailure(L"page " + std::to_wstring(index) + L" did not show");
        return page;
    }

    // A visible dialog of the program with that caption.
    HWND wait_dialog(const wchar_t* caption) {
        HWND dialog = nullptr;
        wait_for(L"no dialog came up",
                 [&] { return (dialog = find_dialog(kalvit_.process.id(), caption)) != nullptr; });
        return dialog;
    }

    // The program's message box and its text.
    HWND wait_box(std::wstring& text) {
        HWND box = wait_dialog(kBoxCaption);
        text = window_text(GetDlgItem(box, 0xFFFF));
        return box;
    }

    void no_box(const wchar_t* what) {
        if (HWND box = find_dialog(kalvit_.process.id(), kBoxCaption))
            throw RunFailure(std::wstring(what) + L": kalvit.exe says " +
                             window_text(GetDlgItem(box, 0xFFFF)));
    }

    // Puts a dialog away with its cancel command, until it stays hidden: the program may still
    // be filling it from an earlier command, and show it again when done.
    void put_away(HWND dialog) {
        int hidden_polls = 0;
        wait_for(L"a dialog did not stay hidden", [&] {
            if (IsWindow(dialog) && IsWindowVisible(dialog)) {
                hidden_polls = 0;
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            } else {
                ++hidden_polls;
            }
            Sleep(kSettleMs / 2);
            return hidden_polls >= 4;
        });
    }

    // The options page: a weighting and the auto-scale switch, changed from run to run.
    void options(int run) {
        HWND setup = page(kSetupPage, kAutoScale);
        send(GetDlgItem(setup, kWeightings[run % 3]), BM_CLICK);
        send(GetDlgItem(setup, kAutoScale), BM_CLICK);
    }

    // Both selectors on other machines, the machine-information dialog opened, both changed
    // again while it shows, and the dialog closed.
    void comparison(int run) {
        compare_ = page(kComparePage, kMachine1);
        choose(kMachine1, run);
        choose(kMachine2, run + 1);
        PostMessageW(GetDlgItem(compare_, kInfoButton), BM_CLICK, 0, 0);
        HWND info = wait_dialog(kInfoCaption);
        choose(kMachine1, run + 2);
        choose(kMachine2, run);
        put_away(info);
        no_box(L"after the comparison");
    }

    // The current machine stored under a name, then that record deleted. A record of that name
    // left from an earlier session is updated when the program asks, and deleted with it.
    void store_and_delete(int run) {
        HWND machine1 = GetDlgItem(compare_, kMachine1);
        const std::wstring name = L"soak " + std::to_wstring(run);
        // The page selects the stored machine, and after the deletion the last one left.
        const auto selected = [&] {
            return send(machine1, CB_GETCURSEL) >= 0 && window_text(machine1) == name;
        };
        send(machine1, CB_SETCURSEL, static_cast<WPARAM>(-1));
        send(machine1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
        PostMessageW(GetDlgItem(compare_, kStoreButton), BM_CLICK, 0, 0);
        wait_for(L"the machine was not stored", [&] {
            if (HWND box = find_dialog(kalvit_.process.id(), kBoxCaption)) {
                if (window_text(GetDlgItem(box, 0xFFFF)).find(name) == std::wstring::npos)
                    no_box(L"storing");
                answer(box, IDYES);
            }
            return selected();
        });
        PostMessageW(GetDlgItem(compare_, kDeleteButton), BM_CLICK, 0, 0);
        std::wstring question;
        HWND box = wait_box(question);
        if (question.find(name) == std::wstring::npos)
            throw RunFailure(L"deleting asked: " + question);
        answer(box, IDYES);
        wait_for(L"the stored machine was not deleted",
                 [&] { return send(machine1, CB_GETCURSEL) >= 0 && !selected(); });
    }

    // Clicks the start button and waits for the score window and the log's end of the run, as
    // run_to_score does, but saying OK and Yes when the display refuses the DirectDraw test's
    // mode switch (as a 32-bit prefix's does): the run goes on in the screen's mode.
    HWND run_to_score(const std::wstring& log, int number, bool& refused) {
        const DWORD pid = kalvit_.process.id();
        PostMessageW(kalvit_.start, BM_CLICK, 0, 0);
        const DWORD start = GetTickCount();
        for (;;) {
            HWND score = find_dialog(pid, kScoreCaption);
            if (score != nullptr && run_ended(log, number))
                return score;
            if (!kalvit_.process.running())
                throw RunFailure(L"the run: kalvit.exe " + describe_state(kalvit_.process));
            if (HWND box = find_dialog(pid, kBoxCaption)) {
                const std::wstring text = window_text(GetDlgItem(box, 0xFFFF));
                const int button = text.starts_with(kRefusalPrefix) ? IDOK
                                   : text == kGoOnQuestion          ? IDYES
                                                                    : 0;
                if (button == 0)
                    throw RunFailure(L"the run: kalvit.exe says " + text);
                refused = true;
                answer(box, button);
            } else if (std::optional<std::wstring> other = unexpected_dialog()) {
                throw RunFailure(L"the run: kalvit.exe shows " + *other);
            }
            for (const std::string& line : read_log_lines(log))
                if (line.rfind("*****Error:", 0) == 0 && !to_wide(line).starts_with(kRefusalPrefix))
                    throw RunFailure(L"the run: the log says " + to_wide(line));
            if (GetTickCount() - start >= kRunTimeoutMs)
                throw RunFailure(L"the run did not end; kalvit.exe " +
                                 describe_state(kalvit_.process));
            Sleep(kPollMs);
        }
    }

    void about() { page(kAboutPage, kAboutHelp); }

    // Back on the test page: the analysis opened, waited on until ready, and closed.
    void analysis() {
        HWND test = page(kTestPage, kStartButton);
        PostMessageW(GetDlgItem(test, kAnalysisButton), BM_CLICK, 0, 0);
        HWND dialog = wait_dialog(kAnalysisCaption);
        wait_for(L"the analysis was not ready",
                 [&] { return IsWindowEnabled(GetDlgItem(dialog, kReportButton)); });
        put_away(dialog);
        no_box(L"after the analysis");
    }

    // The machine-information dialog, hidden since the comparison, can show itself again during
    // a run: it is put away again. True when it had shown.
    bool hide_info_again() {
        HWND info = find_dialog(kalvit_.process.id(), kInfoCaption);
        if (info != nullptr)
            put_away(info);
        return info != nullptr;
    }

private:
    // A visible dialog other than the welcome, score and machine-information windows.
    std::optional<std::wstring> unexpected_dialog() {
        for (HWND hwnd : top_windows(kalvit_.process.id(), true)) {
            const std::wstring text = caption(hwnd);
            if (class_name(hwnd) == L"#32770" && text != kWelcomeCaption && text != kScoreCaption &&
                text != kInfoCaption)
                return L"\"" + text + L"\": " + window_text(GetDlgItem(hwnd, 0xFFFF));
        }
        return std::nullopt;
    }

    void answer(HWND box, int button) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        wait_for(L"a message box stayed", [&] { return !IsWindow(box) || !IsWindowVisible(box); });
    }

    void choose(int id, int index) {
        HWND combo = GetDlgItem(compare_, id);
        const LRESULT n = send(combo, CB_GETCOUNT);
        if (n <= 0)
            throw RunFailure(L"a machine selector is empty");
        send(combo, CB_SETCURSEL, static_cast<WPARAM>(index % n));
        send(compare_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }

    StartedProgram& kalvit_;
    HWND sheet_;
    HWND compare_ = nullptr;
};

// The GDI objects of the program from step to step, and what each step added.
class Steps {
public:
    explicit Steps(HANDLE process) : process_(process), last_(now()) {}
    void mark(const wchar_t* step) {
        const counters::GdiObjects next = now();
        const std::wstring change = counters::describe_change(last_, next);
        if (change != L"0")
            text_ += L" " + std::wstring(step) + L" " + change;
        last_ = next;
    }
    std::wstring text() const { return text_.empty() ? L" none added" : text_; }

private:
    counters::GdiObjects now() const {
        return counters::gdi_objects(process_).value_or(counters::GdiObjects{});
    }
    HANDLE process_;
    counters::GdiObjects last_;
    std::wstring text_;
};

std::wstring megabytes(SIZE_T bytes) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

std::wstring line(const std::wstring& label, const Counts& c, const std::wstring& tail) {
    return pad_right(label, 8) + L"gdi " + pad_left(std::to_wstring(c.gdi.total), 5) + L"  user " +
           pad_left(std::to_wstring(c.windows), 4) + L"  handles " +
           pad_left(std::to_wstring(c.handles), 5) + L"  ws " +
           pad_left(megabytes(c.working_set), 6) + L" MB  private " +
           pad_left(megabytes(c.private_bytes), 6) + L" MB" + tail + L"\n        (" +
           counters::describe(c.gdi) + L")\n";
}

Counts sample(const StartedProgram& kalvit) {
    Sleep(kSettleMs);
    std::wstring why;
    std::optional<Counts> c = counters::counts(kalvit.process.handle(), &why);
    if (!c)
        throw RunFailure(L"cannot count the program's resources: " + why);
    return *c;
}

template <typename T> std::wstring signed_change(T from, T to) {
    const long long d = static_cast<long long>(to) - static_cast<long long>(from);
    return (d > 0 ? L"+" : L"") + std::to_wstring(d);
}

void print_summary(const std::vector<Counts>& runs) {
    const Counts& a = runs.front();
    const Counts& b = runs.back();
    std::wstring out = L"\nfirst run and last run (" + std::to_wstring(runs.size()) + L" runs)\n" +
                       line(L"run 1", a, L"") +
                       line(L"run " + std::to_wstring(runs.size()), b, L"");
    out += L"growth after run 1: gdi " + counters::describe_change(a.gdi, b.gdi) + L", user " +
           signed_change(a.windows, b.windows) + L", handles " +
           signed_change(a.handles, b.handles) + L", working set " +
           signed_change(a.working_set / 1024, b.working_set / 1024) + L" KB, private " +
           signed_change(a.private_bytes / 1024, b.private_bytes / 1024) + L" KB\n";
    print(out);
}

// What the counters give for this process when it makes one bitmap and one handle, beside what
// GetProcessHandleCount says, and what GetGuiResources and PrivateUsage say about the program.
void print_counter_check(HANDLE kalvit) {
    const DWORD self = GetCurrentProcessId();
    const int gdi_before =
        counters::gdi_objects(GetCurrentProcess()).value_or(counters::GdiObjects{}).total;
    const DWORD listed_before = counters::handle_count(self).value_or(0);
    DWORD handles_before = 0, handles_after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles_before);
    ui::Bitmap bitmap(CreateBitmap(1, 1, 1, 1, nullptr));
    ui::Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const int gdi_after =
        counters::gdi_objects(GetCurrentProcess()).value_or(counters::GdiObjects{}).total;
    const DWORD listed_after = counters::handle_count(self).value_or(0);
    GetProcessHandleCount(GetCurrentProcess(), &handles_after);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(kalvit, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    print(L"soak: counter check in the driver: one bitmap made, GDI objects " +
          std::to_wstring(gdi_before) + L" -> " + std::to_wstring(gdi_after) +
          L"; one event opened, handles listed " + std::to_wstring(listed_before) + L" -> " +
          std::to_wstring(listed_after) + L" (GetProcessHandleCount " +
          std::to_wstring(handles_before) + L" -> " + std::to_wstring(handles_after) +
          L")\nsoak: kalvit.exe: GetGuiResources GDI " +
          std::to_wstring(GetGuiResources(kalvit, GR_GDIOBJECTS)) + L", user " +
          std::to_wstring(GetGuiResources(kalvit, GR_USEROBJECTS)) +
          L"; GetProcessMemoryInfo working set " + megabytes(memory.WorkingSetSize) +
          L" MB, PrivateUsage " + megabytes(memory.PrivateUsage) + L" MB\n");
}

int soak(const std::wstring& exe_dir, int runs, int leak) {
    const std::wstring log = join_path(exe_dir, L"soak.log");
    SavedProfile saved;
    set_profile_dword(L"pre_test_flag", 0);
    set_profile_string(L"install_dir", exe_dir);
    std::vector<Counts> figures;
    try {
        StartedProgram kalvit = start_program(exe_dir, log);
        try {
            wait_until_ready(kalvit, log, false);
            print_counter_check(kalvit.process.handle());
            print(line(L"start", sample(kalvit), L""));
            Session session(kalvit);
            for (int run = 1; run <= runs; ++run) {
                // The GDI objects each step adds, to tell where a growth comes from.
                Steps steps(kalvit.process.handle());
                const DWORD started = GetTickCount();
                bool refused = false;
                close_score(session.run_to_score(log, run, refused));
                const DWORD took = GetTickCount() - started;
                const bool info_shown = session.hide_info_again();
                steps.mark(L"run");
                std::wstring why;
                if (leak > 0 && !counters::leak_bitmaps(kalvit.process.handle(), leak, &why))
                    throw RunFailure(L"cannot make the program leak: " + why);
                steps.mark(L"leak");
                session.options(run);
                steps.mark(L"options");
                session.comparison(run);
                steps.mark(L"comparison");
                if (run % kStoreEvery == 1)
                    session.store_and_delete(run);
                steps.mark(L"store");
                session.about();
                steps.mark(L"about");
                session.analysis();
                steps.mark(L"analysis");
                figures.push_back(sample(kalvit));
                wchar_t time[32];
                std::swprintf(time, 32, L"  run %.1f s", static_cast<double>(took) / 1000.0);
                print(line(L"run " + std::to_wstring(run), figures.back(),
                           time + std::wstring(refused ? L" (16-bit mode refused)" : L"") +
                               (info_shown ? L" (machine information showed again)" : L"")));
                print(L"        GDI objects by step:" + steps.text() + L"\n");
            }
        } catch (...) {
            end_program(kalvit);
            throw;
        }
        end_program(kalvit);
    } catch (const RunFailure& failure) {
        complain(failure.what());
        if (!figures.empty())
            print_summary(figures);
        return 1;
    }
    print_summary(figures);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // "--leak-bitmap N" is taken out here; the rest is the benchmark drivers' command line.
    int leak = 0;
    std::vector<wchar_t*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--leak-bitmap" && i + 1 < argc) {
            leak = _wtoi(argv[++i]);
            if (leak < 1) {
                complain(L"--leak-bitmap needs a count of at least 1");
                return 2;
            }
        } else {
            rest.push_back(argv[i]);
        }
    }
    const std::optional<BenchArgs> args =
        bench_args(static_cast<int>(rest.size()), rest.data(), L"soak", 20);
    return args ? soak(args->exe_dir, args->runs, leak) : 2;
}
