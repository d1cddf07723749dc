#include "engine/disturbance.h"

#include <algorithm>
#include <cstdio>

#include "shell/log.h"

LoopDisturbance find_disturbed_passes(const std::vector<uint32_t>& durations) {
    LoopDisturbance found;
    if (durations.empty())
        return found;
    std::vector<uint32_t> sorted = durations;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>((sorted.size() - 1) / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    found.median_ms = *middle;
    const uint64_t median = found.median_ms;
    for (size_t i = 0; i < durations.size(); ++i) {
        const uint64_t d = durations[i];
        if (d > kDisturbedFactor * median && d >= median + kDisturbedExcessMs) {
            found.passes.push_back({static_cast<int>(i + 1), durations[i]});
            found.excess_ms += static_cast<uint32_t>(d - median);
        }
    }
    return found;
}

size_t kept_measurement(const std::vector<Measurement>& made) {
    size_t kept = 0;
    for (size_t i = 0; i < made.size(); ++i) {
        if (!made[i].disturbed())
            return i;
        if (made[i].excess_ms() < made[kept].excess_ms())
            kept = i;
    }
    return kept;
}

// The first eight passes of a loop are named.
void describe_disturbance(const Measurement& m, const char* const loop_names[2], char* text,
                          size_t size) {
    constexpr size_t kNamed = 8;
    size_t used = 0;
    auto add = [&](const char* format, auto... values) {
        if (used < size) {
            const int n = std::snprintf(text + used, size - used, format, values...);
            used += n > 0 ? static_cast<size_t>(n) : 0;
        }
    };
    text[0] = '\0';
    for (int k = 0; k < 2; ++k) {
        const LoopDisturbance& loop = m.loops[k];
        if (loop.passes.empty())
            continue;
        add("%s%s loop passes", used > 0 ? "; " : "", loop_names[k]);
        for (size_t i = 0; i < loop.passes.size() && i < kNamed; ++i)
            add(" %d (%u ms)", loop.passes[i].pass, static_cast<unsigned>(loop.passes[i].ms));
        if (loop.passes.size() > kNamed)
            add(" and %u more", static_cast<unsigned>(loop.passes.size() - kNamed));
        add(", median %u ms", static_cast<unsigned>(loop.median_ms));
    }
}

void log_measured_again(const char* test, const Measurement& m, const char* const loop_names[2]) {
    char text[1024];
    describe_disturbance(m, loop_names, text, sizeof text);
    QMsgLog("%s: disturbed, measured again: %s", test, text);
}

void log_disturbed_every_time(const char* test, const Measurement& kept,
                              const char* const loop_names[2]) {
    char text[1024];
    describe_disturbance(kept, loop_names, text, sizeof text);
    QMsgLog("-----Warning: %s disturbed in all %d measurements, the least disturbed is kept: %s",
            test, kMostMeasurements, text);
}
