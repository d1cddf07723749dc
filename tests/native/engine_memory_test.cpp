#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/memory_kernels.h"
#include "engine/measure_memory.h"
#include "shell/log.h"
#include "tests/native/engine_test_support.h"

namespace {
constexpr size_t kMegabyte = 1048576;
constexpr size_t kPage = 4096;
constexpr uint32_t kUntouched = 0xDEADBEEF;

uint32_t source_word(size_t i) {
    return static_cast<uint32_t>(i * 2654435761u) ^ 0x5A5Au;
}

// Buffers whose bytes from `guard_from` on are inaccessible: any access there kills the test.
// The first block (the destination) starts filled with kUntouched, the second (the source) with
// a word pattern.
struct Guarded {
    static inline size_t guard_from = 0;
    static inline std::map<void*, size_t> sizes;
    static inline std::vector<uint32_t*> order;
    static void* allocate(size_t bytes) {
        size_t rounded = (bytes + kPage - 1) / kPage * kPage;
        void* p = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return nullptr;
        auto* words = static_cast<uint32_t*>(p);
        for (size_t i = 0; i < rounded / 4; ++i)
            words[i] = order.empty() ? kUntouched : source_word(i);
        mprotect(static_cast<char*>(p) + guard_from, rounded - guard_from, PROT_NONE);
        sizes[p] = rounded;
        order.push_back(words);
        return p;
    }
    static void release(void* p) {
        munmap(p, sizes[p]);
        sizes.erase(p);
    }
};

struct Outcome {
    std::optional<float> speed;
    std::vector<double> fractions;
    std::vector<uint32_t> destination; // the accessible part of the destination afterwards
};

// Runs the memory test over guarded buffers and copies out what it left in the destination.
// Both loops run 2 × m passes over `work` and `empty` ms.
Outcome run_guarded(int m, int mem_block, uint32_t work, uint32_t empty) {
    const size_t guard = mem_block ? kMegabyte : kMegabyte + kPage;
    Guarded::guard_from = guard;
    Guarded::order.clear();
    CountingAllocator counting(0, {Guarded::allocate, Guarded::release});
    ScriptedTimer timer(turn_reads(2 * m, work, empty));
    Outcome out;
    TestHooks hooks;
    hooks.progress = [&out, guard](double fraction) {
        out.fractions.push_back(fraction);
        // Between passes the buffers are still held.
        const uint32_t* dst = Guarded::order.at(0);
        out.destination.assign(dst, dst + guard / 4);
    };
    out.speed = memory_test(m, mem_block, hooks);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    EXPECT_EQ(CountingAllocator::sizes(), (std::vector<size_t>{0x12C000, 0x113000}));
    // The start, and the end of every pass of either loop.
    EXPECT_EQ(ScriptedTimer::reads(), 1 + out.fractions.size());
    return out;
}
} // namespace

TEST(MemoryTest, WordModeCopiesWordsZeroToOneMegabyteAndNothingBeyond) {
    Outcome out = run_guarded(1, 0, 1000, 200);
    EXPECT_FLOAT_EQ(out.speed.value(), 2 * 40000.0f / 800);
    EXPECT_EQ(out.fractions, (std::vector<double>{0.0, 0.5, 0.5, 1.0}));
    ASSERT_EQ(out.destination.size(), (kMegabyte + kPage) / 4);
    for (size_t i = 0; i < out.destination.size(); ++i)
        ASSERT_EQ(out.destination[i], i <= 262144 ? source_word(i) : kUntouched) << i;

    Outcome two = run_guarded(2, 0, 3, 0);
    EXPECT_EQ(two.fractions, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 0.25, 0.5, 0.75, 1.0}));
    EXPECT_FLOAT_EQ(two.speed.value(), 4 * 40000.0f / 10);
    EXPECT_FLOAT_EQ(run_guarded(1, 0, 2000000, 0).speed.value(), 0.08f);
    // An empty loop slower than the work loop wraps, and the clamp takes the result.
    EXPECT_FLOAT_EQ(run_guarded(1, 0, 100, 150).speed.value(), 0.08f);
}

TEST(MemoryTest, BlockModeCopiesTheFirstMegabyteOnlyAndLogs) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    Outcome out = run_guarded(2, 1, 5000, 1000);
    log_close();
    EXPECT_EQ(read_all(f), "\nMemory Test: dtgt=4000 , speed=   40.0 M");
    std::fclose(f);
    // A pass of either loop takes turns with one of the other.
    EXPECT_EQ(out.fractions, (std::vector<double>{0.0, 0.0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75}));
    ASSERT_EQ(out.destination.size(), kMegabyte / 4);
    for (size_t i = 0; i < out.destination.size(); ++i)
        ASSERT_EQ(out.destination[i], source_word(i)) << i;

    // Passes of 10 ms: the first turn takes three work passes, and so does every later one.
    Outcome turns = run_guarded(4, 1, 80, 40);
    EXPECT_EQ(turns.fractions, (std::vector<double>{0.0, 0.125, 0.25, 0.0, 0.125, 0.25, 0.375, 0.5,
                                                    0.625, 0.375, 0.5, 0.625, 0.75, 0.875, 0.75,
                                                    0.875}));
    EXPECT_FLOAT_EQ(turns.speed.value(), 8 * 40000.0f / 40);
}

TEST(MemoryKernels, WordCopyMakes262144StepsFromBothEndsInStepOrder) {
    // With the destination one word above the source every copy reads what earlier steps wrote,
    // so the final contents record the number and the order of the copies.
    constexpr size_t kSteps = 262144;
    std::vector<uint32_t> buffer(kSteps + 2), expected(kSteps + 2);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = expected[i] = static_cast<uint32_t>(i);
    copy_words_both_ends(buffer.data() + 1, buffer.data());
    for (size_t k = 0; k < kSteps; ++k) {
        expected[k + 1] = expected[k];
        expected[kSteps - k + 1] = expected[kSteps - k];
    }
    EXPECT_EQ(buffer, expected);
}

namespace {
// Block copies recorded by their destination offset and size, then made.
std::vector<std::pair<ptrdiff_t, size_t>> block_calls;
const unsigned char* block_base = nullptr;
void* counting_block_copy(void* dst, const void* src, size_t bytes) {
    block_calls.emplace_back(block_base ? static_cast<unsigned char*>(dst) - block_base : 0, bytes);
    return std::memcpy(dst, src, bytes);
}

// A scratch whose stores the empty loops' bodies record.
struct RecordedStore {
    std::vector<int32_t> values;
    RecordedStore& operator=(int32_t v) {
        values.push_back(v);
        return *this;
    }
};
struct RecordingScratch {
    RecordedStore low, high, offset;
};

// The repetitions memory_test makes, counted and forwarded to the real loops.
int copies = 0, empties = 0;
MemoryLoops real_loops[2];
template <int Mode> void counted_copy(void* dst, const void* src) {
    ++copies;
    real_loops[Mode].copy(dst, src);
}
template <int Mode> void counted_empty() {
    ++empties;
    real_loops[Mode].empty();
}
} // namespace

TEST(MemoryKernels, BlockCopiesAndEmptyStepsOverTheFirstMegabyte) {
    std::vector<unsigned char> dst(kMegabyte), src(kMegabyte, 7);
    block_calls.clear();
    block_base = dst.data();
    const BlockCopy previous = set_block_copy(counting_block_copy);
    copy_blocks_4k(dst.data(), src.data());
    set_block_copy(previous);
    block_base = nullptr;
    ASSERT_EQ(block_calls.size(), 512u);
    for (size_t k = 0; k < 512; ++k)
        EXPECT_EQ(block_calls[k], std::make_pair(static_cast<ptrdiff_t>(k % 256 * 4096), size_t{4096}));
    EXPECT_EQ(dst, src);

    RecordingScratch words, blocks;
    empty_word_steps_into(words);
    empty_block_steps_into(blocks);
    ASSERT_EQ(words.low.values.size(), 262144u);
    ASSERT_EQ(words.high.values, words.low.values);
    EXPECT_EQ(words.low.values.front(), 262144);
    EXPECT_EQ(words.low.values.back(), 1);
    ASSERT_EQ(blocks.offset.values.size(), 512u);
    for (int32_t k = 0; k < 512; ++k)
        ASSERT_EQ(blocks.offset.values[k], k % 256 * 4096) << k;
}

TEST(MemoryTest, EveryPassMakesTenRepetitionsInBothLoopsOfBothModes) {
    std::copy(memory_loops, memory_loops + 2, real_loops);
    memory_loops[0] = {counted_copy<0>, counted_empty<0>};
    memory_loops[1] = {counted_copy<1>, counted_empty<1>};
    const BlockCopy previous = set_block_copy(counting_block_copy);
    for (int mem_block : {0, 1}) {
        copies = empties = 0;
        block_calls.clear();
        std::vector<std::vector<size_t>> at_pass;
        CountingAllocator counting(0);
        ScriptedTimer timer(turn_reads(4, 1000, 200));
        TestHooks hooks;
        hooks.progress = [&](double) {
            at_pass.push_back({size_t(copies), size_t(empties), block_calls.size()});
        };
        ASSERT_TRUE(memory_test(2, mem_block, hooks).has_value());
        ASSERT_EQ(at_pass.size(), 8u) << mem_block;
        const size_t b = mem_block;
        for (size_t j = 1; j <= 4; ++j) {
            // 512 × 10 blocks of 4096 bytes per pass in the 4 KB mode, none in the word mode; the
            // loops take turns pass by pass at 250 ms a work pass.
            EXPECT_EQ(at_pass[2 * j - 2], (std::vector<size_t>{10 * j, 10 * (j - 1), b * 5120 * j}));
            EXPECT_EQ(at_pass[2 * j - 1], (std::vector<size_t>{10 * j, 10 * j, b * 5120 * j}));
        }
    }
    set_block_copy(previous);
    std::copy(real_loops, real_loops + 2, memory_loops);
}

namespace {
int held_while_told = -1;
}

TEST(MemoryTest, FailedAllocationsAreToldPlainlyAndHoldNothingAndStopGivesZero) {
    for (int refuse : {1, 2}) {
        MessageRecorder messages;
        held_while_told = -1;
        MessageRecorder::on_message = [] { held_while_told = CountingAllocator::outstanding(); };
        CountingAllocator counting(refuse);
        TestHooks hooks;
        hooks.progress = [](double) { ADD_FAILURE() << "a pass without memory"; };
        EXPECT_FALSE(memory_test(1, 0, hooks).has_value()) << refuse;
        EXPECT_EQ(CountingAllocator::requests(), refuse);
        EXPECT_EQ(CountingAllocator::outstanding(), 0) << refuse;
        EXPECT_EQ(MessageRecorder::plain_texts(),
                  std::vector<std::string>{"Can't locate memory for handle" +
                                           std::to_string(refuse) + "!"});
        EXPECT_TRUE(MessageRecorder::texts().empty()) << "not through QMsgBox";
        // The destination block is released only after the box about the source was closed.
        EXPECT_EQ(held_while_told, refuse - 1) << refuse;
    }
    CountingAllocator counting(0);
    ScriptedTimer timer({0, 0, 0, 0});
    volatile int stop = 1;
    TestHooks hooks;
    hooks.stop = &stop;
    EXPECT_EQ(memory_test(3, 1, hooks), std::optional<float>(0.0f));
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
}
