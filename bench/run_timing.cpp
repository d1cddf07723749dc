#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/wine/program_run.h"
#include "ui/gbk.h"
// bench-run <folder of kalvit.exe> [--runs N]: times kalvit.exe's own runs from its log. Starts
// the program N times as on a first start (no pre-test setting: the pre-test, then one standard
// run clicked after it) and N times with the pre-test switched off (one run, whose work amounts
// come from the quick calibration), and prints the elapsed times the log gives for each run, their
// medians and the work amounts of each run.

namespace {

using namespace driver;

constexpr int kAmounts = 5; // m_times[0..4]: integer, float, memory, DirectDraw, disk

void complain(const std::wstring& text) { print_error(L"bench-run: " + text + L"\n"); }

// One run as its log lines tell it.
struct LoggedRun {
    int number = 0;
    std::optional<int> elapsed_ms; // the End line's last number
    std::vector<int> amounts;      // from the m_times lines, slot by slot
    std::string blit_speed;        // the DirectDraw test's speed in MB/s, as logged
};

// The digits at the end of a line.
std::optional<int> trailing_number(const std::string& line) {
    size_t i = line.size();
    while (i > 0 && line[i - 1] >= '0' && line[i - 1] <= '9')
        --i;
    if (i == line.size())
        return std::nullopt;
    return std::atoi(line.c_str() + i);
}

std::vector<LoggedRun> logged_runs(const std::wstring& log) {
    std::vector<LoggedRun> runs;
    for (const std::string& line : driver::read_log_lines(log)) {
        int number = 0, slot = 0, amount = 0, flag = 0, tested = 0, dtgt = 0;
        char speed[32] = {};
        if (std::sscanf(line.c_str(), "Begin No.%d test at", &number) == 1) {
            runs.push_back({number, std::nullopt, {}, {}});
        } else if (!runs.empty() &&
                   std::sscanf(line.c_str(), "pre_test_flag=%d pre_tested=%d m_times[%d]=%d", &flag,
                               &tested, &slot, &amount) == 4) {
            runs.back().amounts.push_back(amount);
        } else if (!runs.empty() && std::sscanf(line.c_str(), "Blt Test: dtgt=%d , speed=%31s M",
                                                &dtgt, speed) == 2) {
            runs.back().blit_speed = speed;
        } else if (!runs.empty() &&
                   std::sscanf(line.c_str(), "End No.%d test at", &number) == 1 &&
                   number == runs.back().number) {
            runs.back().elapsed_ms = trailing_number(line);
        }
    }
    return runs;
}

// One program start: the pre-test when pre_test is set, then one run clicked on the start
// button. Returns the runs of its log.
std::vector<LoggedRun> one_start(const std::wstring& exe_dir, bool pre_test) {
    const std::wstring log = driver::join_path(exe_dir, L"bench-run.log");
    if (pre_test)
        driver::delete_profile_value(L"pre_test_flag");
    else
        driver::set_profile_dword(L"pre_test_flag", 0);
    driver::set_profile_string(L"install_dir", exe_dir);

    StartedProgram kalvit = start_program(exe_dir, log);
    try {
        wait_until_ready(kalvit, log, pre_test);
        close_score(run_to_score(kalvit, log, pre_test ? 2 : 1));
    } catch (...) {
        end_program(kalvit);
        throw;
    }
    end_program(kalvit);
    std::vector<LoggedRun> runs = logged_runs(log);
    if (runs.size() != static_cast<size_t>(pre_test ? 2 : 1))
        throw RunFailure(L"the log " + log + L" has " + std::to_wstring(runs.size()) + L" runs");
    return runs;
}

struct Row {
    const wchar_t* name;
    std::vector<LoggedRun> runs;
};

int median(std::vector<int> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}


void print_table(const std::vector<Row>& rows, int runs) {
    constexpr size_t kName = 34, kCell = 8;
    std::wstring out =
        table_header(L"elapsed ms per run (the log's 测试消耗时间)", runs, kName, kCell);
    for (const Row& row : rows) {
        out += pad_right(row.name, kName);
        std::vector<int> times;
        for (const LoggedRun& run : row.runs) {
            times.push_back(run.elapsed_ms.value_or(0));
            out += pad_left(std::to_wstring(times.back()), kCell);
        }
        out += pad_left(std::to_wstring(median(times)), kCell + 2) + L"\n";
    }
    out += L"\nwork amounts m_times[0..4] (integer, float, memory, DirectDraw, disk)\n";
    for (const Row& row : rows)
        for (const LoggedRun& run : row.runs) {
            out += pad_right(std::wstring(row.name) + L" #" +
                            std::to_wstring(&run - row.runs.data() + 1),
                        kName + 4);
            for (int amount : run.amounts)
                out += pad_left(std::to_wstring(amount), 5);
            if (run.amounts.size() != kAmounts)
                out += L"  (" + std::to_wstring(run.amounts.size()) + L" amounts logged)";
            out += L"   DirectDraw " +
                   (run.blit_speed.empty() ? L"-" : std::wstring(run.blit_speed.begin(),
                                                                   run.blit_speed.end())) +
                   L" MB/s\n";
        }
    print(out);
}

int bench(const std::wstring& exe_dir, int runs) {
    if (!driver::file_exists(driver::join_path(exe_dir, L"kalvit.exe"))) {
        complain(L"no kalvit.exe in " + exe_dir);
        return 1;
    }
    SavedProfile saved;
    Row pre{L"pre-test (first start)", {}};
    Row after{L"standard run after the pre-test", {}};
    Row quick{L"standard run, pre-test off", {}};
    try {
        for (int i = 1; i <= runs; ++i) {
            print(L"bench-run: first start " + std::to_wstring(i) + L"/" + std::to_wstring(runs) +
                  L": pre-test and one run\n");
            std::vector<LoggedRun> logged = one_start(exe_dir, true);
            pre.runs.push_back(logged[0]);
            after.runs.push_back(logged[1]);
        }
        for (int i = 1; i <= runs; ++i) {
            print(L"bench-run: start without pre-test " + std::to_wstring(i) + L"/" +
                  std::to_wstring(runs) + L": one run\n");
            quick.runs.push_back(one_start(exe_dir, false)[0]);
        }
    } catch (const RunFailure& failure) {
        complain(failure.what());
        return 1;
    }
    print_table({pre, after, quick}, runs);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::optional<driver::BenchArgs> args = driver::bench_args(argc, argv, L"bench-run", 3);
    return args ? bench(args->exe_dir, args->runs) : 2;
}
