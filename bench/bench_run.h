#pragma once
#include <cstdint>
#include <optional>

#include "engine/measure_float.h"
// One run of one of the program's own tests, as the console benchmark reports it.

enum class BenchTest { integer, floating, memory, disk };

struct BenchSettings {
    BenchTest test = BenchTest::integer;
    int amount = 0;
    FloatPath path = FloatPath::plain;
    int mem_block = 0;
    int disk_cached = 0;
};

struct BenchResult {
    uint32_t dtgt;    // as the test logged it
    long long passes; // passes of the loop the speed counts
    float speed;
    MeasureRecord measurements; // every measurement of the run and the one kept
};

// Whether this build and this processor can run the settings; otherwise why not.
std::optional<const char*> bench_refusal(const BenchSettings& settings);

// Runs the test once. Empty when the test failed (it has said why) or logged no result line.
std::optional<BenchResult> bench_run(const BenchSettings& settings);
