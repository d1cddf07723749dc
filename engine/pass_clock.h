#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/clock.h"
// The timer of one timed loop, read at its start and after every outer pass, where the loop
// reports its progress: the empty loop reads it as often as the work loop, so the subtraction
// removes the reads. The pass durations tell afterwards whether the loop was disturbed.

class PassClock {
public:
    // Room for the durations is made here, before the loop, which then allocates nothing.
    explicit PassClock(long long passes) {
        durations_.reserve(static_cast<size_t>(std::clamp(passes, 0LL, kMostPasses)));
    }

    void start() {
        durations_.clear();
        start_ = last_ = ms_timer();
    }
    // After an outer pass. Passes beyond the room made count in the time only.
    void pass() {
        const uint32_t now = ms_timer();
        if (durations_.size() < durations_.capacity())
            durations_.push_back(now - last_);
        last_ = now;
    }
    uint32_t started() const { return start_; }
    // From the start to the end of the last pass.
    uint32_t elapsed() const { return last_ - start_; }
    const std::vector<uint32_t>& durations() const { return durations_; }

private:
    static constexpr long long kMostPasses = 1 << 20;
    std::vector<uint32_t> durations_;
    uint32_t start_ = 0, last_ = 0;
};
