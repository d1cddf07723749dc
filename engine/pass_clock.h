#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/clock.h"
// The timer of one timed loop, read at its start and after every outer pass, where the loop
// reports its progress: the empty loop reads it as often as the work loop, so the subtraction
// removes the reads. The pass durations tell afterwards whether the loop was disturbed. A loop
// that takes turns with another resumes from the other's last read.

class PassClock {
public:
    // Room for the durations is made here, before the loop, which then allocates nothing.
    explicit PassClock(long long passes) {
        durations_.reserve(static_cast<size_t>(std::clamp(passes, 0LL, kMostPasses)));
    }

    // Reads the timer: the loop starts.
    uint32_t start() {
        restart_at(ms_timer());
        return start_;
    }
    // The loop starts at a time already read (by the loop it takes turns with).
    void restart_at(uint32_t now) {
        durations_.clear();
        total_ = 0;
        start_ = last_ = now;
    }
    // The loop goes on from a time already read.
    void resume_at(uint32_t now) { last_ = now; }
    // After an outer pass; returns the time read. Passes beyond the room made count in the time
    // only.
    uint32_t pass() {
        const uint32_t now = ms_timer();
        if (durations_.size() < durations_.capacity())
            durations_.push_back(now - last_);
        total_ += now - last_;
        last_ = now;
        return now;
    }

    uint32_t started() const { return start_; }
    // The time of the passes so far.
    uint32_t elapsed() const { return total_; }
    const std::vector<uint32_t>& durations() const { return durations_; }

private:
    static constexpr long long kMostPasses = 1 << 20;
    std::vector<uint32_t> durations_;
    uint32_t start_ = 0, last_ = 0, total_ = 0;
};
