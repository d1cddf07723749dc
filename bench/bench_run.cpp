#include "bench/bench_run.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/clock.h"
#include "engine/measure_integer.h"
#include "engine/measure.h"
#include "engine/measure_memory.h"
#include "shell/log.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>

#include "engine/measure_disk.h"
#else
#include <unistd.h>
#endif

namespace {
// The tests log their own dtgt; reading it back keeps their arithmetic in one place. The log
// goes to a scratch file in the temporary directory for the length of one run.
class ScratchLog {
public:
    ScratchLog() {
#ifdef _WIN32
        // The system's own code page on both sides: GetTempPathA and msvcrt's fopen agree.
        char directory[MAX_PATH];
        DWORD length = GetTempPathA(sizeof directory, directory);
        if (length == 0 || length >= sizeof directory)
            return;
        path_ = directory;
        path_ += "kalvit-kernels-" + std::to_string(_getpid()) + ".log";
#else
        const char* directory = std::getenv("TMPDIR");
        path_ = directory != nullptr && *directory != '\0' ? directory : "/tmp";
        path_ += "/kalvit-kernels-" + std::to_string(getpid()) + ".log";
#endif
        file_ = std::fopen(path_.c_str(), "w+");
        if (file_ != nullptr)
            log_attach(file_);
    }
    ScratchLog(const ScratchLog&) = delete;
    ScratchLog& operator=(const ScratchLog&) = delete;
    ~ScratchLog() {
        if (file_ == nullptr)
            return;
        log_close();
        std::fclose(file_);
        std::remove(path_.c_str());
    }

    bool ready() const {
        return file_ != nullptr;
    }

    // The dtgt of the last result line, "... Test: dtgt=%d , speed=...".
    std::optional<uint32_t> logged_dtgt() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0)
            text.append(chunk, n);
        size_t at = text.rfind("dtgt=");
        if (at == std::string::npos)
            return std::nullopt;
        return static_cast<uint32_t>(std::strtoul(text.c_str() + at + 5, nullptr, 10));
    }

private:
    std::string path_;
    FILE* file_ = nullptr;
};

// Passes of the loop the speed counts. The work and the empty loop each start their fractions
// afresh, so a fraction that does not grow begins the last loop; the disk test has one rising
// scale, of which reading is the half above 0.5.
struct PassCounter {
    bool disk = false;
    long long passes = 0;
    double last = -1.0;

    void count(double fraction) {
        if (disk) {
            passes += fraction > 0.5 ? 1 : 0;
            return;
        }
        if (fraction <= last)
            passes = 0;
        ++passes;
        last = fraction;
    }
};
} // namespace

std::optional<const char*> bench_refusal(const BenchSettings& settings) {
    if (settings.amount < 1)
        return "the amount must be at least 1";
#ifndef _WIN32
    if (settings.test == BenchTest::disk)
        return "the disk test is only in the Windows build (run it under Wine)";
#endif
    if (settings.test == BenchTest::floating) {
        if (settings.path == FloatPath::amd_3dnow && !cpu_has_3dnow())
            return "this processor has no 3DNow! instructions; use --path plain or --path sse";
        if (settings.path == FloatPath::sse && !cpu_has_sse())
            return "this processor has no SSE instructions; use --path plain";
    }
    return std::nullopt;
}

std::optional<BenchResult> bench_run(const BenchSettings& settings) {
    ScratchLog log;
    if (!log.ready()) {
        std::fprintf(stderr, "kalvit-kernels: cannot open a scratch log file\n");
        return std::nullopt;
    }
    const FinestTimerPeriod finest_timer;
    PassCounter counter{settings.test == BenchTest::disk};
    TestHooks hooks;
    hooks.progress = [&counter](double fraction) { counter.count(fraction); };
    MeasureRecord record;
    hooks.record = &record;

    std::optional<float> speed;
    switch (settings.test) {
    case BenchTest::integer:
        speed = integer_test(settings.amount, hooks);
        break;
    case BenchTest::floating:
        speed = float_test(settings.amount, settings.path, hooks);
        break;
    case BenchTest::memory:
        speed = memory_test(settings.amount, settings.mem_block, hooks);
        break;
    case BenchTest::disk:
#ifdef _WIN32
        speed = disk_test(settings.amount, settings.disk_cached, hooks);
#endif
        break;
    }
    if (!speed)
        return std::nullopt;
    std::optional<uint32_t> dtgt = log.logged_dtgt();
    if (!dtgt)
        return std::nullopt;
    return BenchResult{*dtgt, counter.passes, *speed, record};
}
