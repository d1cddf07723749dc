// kalvit-kernels: runs one of the measuring tests from the console and prints what it measured.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "bench/bench_run.h"
#include "engine/fpu_control.h"

namespace {
constexpr int kMaxAmount = 100000;
constexpr int kMaxRuns = 1000;

struct Arguments {
    BenchSettings settings;
    int runs = 3;
    bool amount_given = false;
};

void usage() {
    std::fprintf(stderr, "usage: kalvit-kernels integer|float|memory|disk [--amount N]"
                         " [--path plain|sse|3dnow] [--block] [--cached] [--runs N]\n"
                         "  --amount N  the test's work amount (m_times); default: about a second\n"
                         "  --path      floating-point kernels (default plain)\n"
                         "  --block     memory test copies 4 KB blocks instead of 32-bit words\n"
                         "  --cached    disk test without write-through (disk_cached=1)\n"
                         "  --runs N    repetitions (default 3)\n");
}

bool parse_count(const char* text, int highest, int& count) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > highest)
        return false;
    count = static_cast<int>(value);
    return true;
}

template <typename T> struct Named {
    std::string_view name;
    T value;
};
constexpr Named<BenchTest> kTestNames[] = {{"integer", BenchTest::integer},
                                           {"float", BenchTest::floating},
                                           {"memory", BenchTest::memory},
                                           {"disk", BenchTest::disk}};
constexpr Named<FloatPath> kPathNames[] = {
    {"plain", FloatPath::plain}, {"sse", FloatPath::sse}, {"3dnow", FloatPath::amd_3dnow}};

template <typename T, size_t N>
bool lookup(std::string_view name, const Named<T> (&table)[N], T& value) {
    for (const Named<T>& entry : table) {
        if (entry.name == name) {
            value = entry.value;
            return true;
        }
    }
    return false;
}

// A net time of roughly a second per run on a current desktop processor.
int default_amount(const BenchSettings& s) {
    switch (s.test) {
    case BenchTest::integer:
        return 100;
    case BenchTest::floating:
        return s.path == FloatPath::plain ? 80 : 25;
    case BenchTest::memory:
        return s.mem_block != 0 ? 800 : 700;
    case BenchTest::disk:
        return 40;
    }
    return 1;
}

std::optional<Arguments> parse_arguments(int argc, char** argv) {
    if (argc < 2)
        return std::nullopt;
    Arguments args;
    if (!lookup(argv[1], kTestNames, args.settings.test))
        return std::nullopt;

    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--block") {
            args.settings.mem_block = 1;
        } else if (arg == "--cached") {
            args.settings.disk_cached = 1;
        } else if (arg == "--amount" && has_value) {
            if (!parse_count(argv[++i], kMaxAmount, args.settings.amount))
                return std::nullopt;
            args.amount_given = true;
        } else if (arg == "--runs" && has_value) {
            if (!parse_count(argv[++i], kMaxRuns, args.runs))
                return std::nullopt;
        } else if (arg == "--path" && has_value) {
            if (!lookup(argv[++i], kPathNames, args.settings.path))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (!args.amount_given)
        args.settings.amount = default_amount(args.settings);
    return args;
}

const char* describe(const BenchSettings& s) {
    switch (s.test) {
    case BenchTest::integer:
        return "integer";
    case BenchTest::floating:
        return s.path == FloatPath::plain
                   ? "float, plain"
                   : (s.path == FloatPath::sse ? "float, SSE" : "float, 3DNow!");
    case BenchTest::memory:
        return s.mem_block != 0 ? "memory, 4 KB blocks" : "memory, 32-bit words";
    case BenchTest::disk:
        return s.disk_cached != 0 ? "disk, cached" : "disk, write-through";
    }
    return "";
}

const char* unit(BenchTest test) {
    return test == BenchTest::integer || test == BenchTest::floating ? "M ops/s" : "MB/s";
}
const char* const* loop_names(BenchTest test) {
    static const char* const kWorkAndEmptyNames[2] = {"work", "empty"};
    static const char* const kDiskNames[2] = {"writing", "reading"};
    return test == BenchTest::disk ? kDiskNames : kWorkAndEmptyNames;
}

// Under a run's line: each disturbed measurement and its passes, and which one was kept.
void report_measurements(BenchTest test, const MeasureRecord& record, int& repeated_runs,
                         size_t& disturbed_passes) {
    const char* const* names = loop_names(test);
    repeated_runs += record.made.size() > 1 ? 1 : 0;
    for (size_t i = 0; i < record.made.size(); ++i) {
        const Measurement& m = record.made[i];
        disturbed_passes += m.loops[0].passes.size() + m.loops[1].passes.size();
        if (!m.disturbed() && record.made.size() == 1)
            continue;
        char text[1024];
        describe_disturbance(m, names, text, sizeof text);
        std::printf("  measurement %u: dtgt=%u ms  speed=%.2f%s%s%s\n",
                    static_cast<unsigned>(i + 1),
                    static_cast<unsigned>(m.dtgt), static_cast<double>(m.speed),
                    m.disturbed() ? "  disturbed: " : "", text,
                    i == record.kept ? "  (kept)" : "");
    }
}
} // namespace

int main(int argc, char** argv) {
    std::optional<Arguments> args = parse_arguments(argc, argv);
    if (!args) {
        usage();
        return 2;
    }
    const BenchSettings& s = args->settings;
    if (std::optional<const char*> why = bench_refusal(s)) {
        std::fprintf(stderr, "kalvit-kernels: %s\n", *why);
        return 2;
    }

    uint16_t before = x87_control_word();
    load_run_control_word();
    std::printf("%s, amount %d, %d run(s); x87 control word %04X -> %04X\n", describe(s), s.amount,
                args->runs, before, x87_control_word());

    double sum = 0.0, lowest = 0.0, highest = 0.0;
    int repeated_runs = 0;
    size_t disturbed_passes = 0;
    for (int run = 1; run <= args->runs; ++run) {
        std::optional<BenchResult> r = bench_run(s);
        if (!r) {
            std::fprintf(stderr, "kalvit-kernels: the test failed\n");
            return 1;
        }
        double speed = r->speed;
        const Measurement kept = r->measurements.made.empty()
                                     ? Measurement{}
                                     : r->measurements.made[r->measurements.kept];
        std::printf("run %d: dtgt=%u ms  passes=%" PRId64 "  speed=%.2f %s  (%s %u ms, %s %u ms)\n", run,
                    static_cast<unsigned>(r->dtgt), static_cast<int64_t>(r->passes), speed, unit(s.test),
                    loop_names(s.test)[0], static_cast<unsigned>(kept.loop_ms[0]),
                    loop_names(s.test)[1], static_cast<unsigned>(kept.loop_ms[1]));
        report_measurements(s.test, r->measurements, repeated_runs, disturbed_passes);
        std::fflush(stdout);
        sum += speed;
        lowest = run == 1 || speed < lowest ? speed : lowest;
        highest = run == 1 || speed > highest ? speed : highest;
    }
    std::printf("mean %.2f %s (min %.2f, max %.2f)\n", sum / args->runs, unit(s.test), lowest,
                highest);
    std::printf("measured again in %d of %d run(s); %u disturbed pass(es) in all\n",
                repeated_runs, args->runs, static_cast<unsigned>(disturbed_passes));
    return 0;
}
