#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
// Whether a timed loop was disturbed, and which of up to three measurements of a test a run
// keeps. The system may take the processor away during a loop (a virus scanner, a download, a
// virtual machine's host); the net time, a difference of two loop times, then swings far more
// than the disturbance itself.

// A pass of a loop was disturbed when it took more than three times the loop's median pass and
// at least 20 ms more: the 20 ms keep a coarse timer's ticks from counting.
constexpr uint32_t kDisturbedFactor = 3;
constexpr uint32_t kDisturbedExcessMs = 20;

struct DisturbedPass {
    int pass;     // 1-based
    uint32_t ms;  // how long it took
};

struct LoopDisturbance {
    uint32_t median_ms = 0;
    std::vector<DisturbedPass> passes;
    uint32_t excess_ms = 0; // the time of the disturbed passes beyond the median
};

LoopDisturbance find_disturbed_passes(const std::vector<uint32_t>& durations);

// One measurement of a test: its net time and speed, and the disturbed passes of its two loops
// (the work and the empty loop; the disk test's writing and reading).
struct Measurement {
    float speed = 0.0f;
    uint32_t dtgt = 0;
    uint32_t loop_ms[2] = {}; // the time of each loop
    LoopDisturbance loops[2];

    bool disturbed() const { return !loops[0].passes.empty() || !loops[1].passes.empty(); }
    uint32_t excess_ms() const { return loops[0].excess_ms + loops[1].excess_ms; }
};

// A test whose work or empty loop was disturbed is measured again, up to two more times.
constexpr int kMostMeasurements = 3;

// Every measurement of one test, in order, and the index of the one kept.
struct MeasureRecord {
    std::vector<Measurement> made;
    size_t kept = 0;
};

// Which measurement is kept: the first undisturbed one, otherwise the least disturbed time.
size_t kept_measurement(const std::vector<Measurement>& made);

// "work loop passes 12 (57 ms) 30 (41 ms), median 3 ms; empty loop ..." for the disturbed loops.
void describe_disturbance(const Measurement& m, const char* const loop_names[2], char* text,
                          size_t size);

// The log lines: a measurement that is made again, and a test disturbed every time.
void log_measured_again(const char* test, const Measurement& m, const char* const loop_names[2]);
void log_disturbed_every_time(const char* test, const Measurement& kept,
                              const char* const loop_names[2]);
