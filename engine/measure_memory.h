#pragma once
#include <optional>

#include "engine/measure.h"
// Test 2: memory transfer between two buffers of more than 1 MB, in MB per second counting
// every byte read and written.

constexpr unsigned kDestinationBytes = 0x12C000;
constexpr unsigned kSourceBytes = 0x113000;

// Runs 2 × m passes of 10 repetitions; mem_block 0 copies 32-bit words, 1 copies 4 KB blocks.
// Empty when a buffer could not be had (the user has been told); both buffers are released
// before it returns.
std::optional<float> memory_test(int m, int mem_block, const TestHooks& hooks);

// One repetition of each loop of a mode, as memory_test calls them: entry 0 copies words,
// entry 1 copies 4 KB blocks. Tests put counting repetitions in their place.
struct MemoryLoops {
    void (*copy)(void* dst, const void* src);
    void (*empty)();
};
extern MemoryLoops memory_loops[2];
