#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

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

// Buffers whose bytes from a given offset on are inaccessible: any access there kills the test.
// The first block (the destination) starts filled with kUntouched, the second (the source) with
// a pattern that differs per word.
class GuardedAllocator {
public:
    explicit GuardedAllocator(size_t guard_from) {
        guard_from_ = guard_from;
        sizes_.clear();
        order_.clear();
    }
    BlockAllocator allocator() const { return {allocate, release}; }
    static const uint32_t* destination() { return order_.at(0); }
    static uint32_t source_word(size_t i) {
        return static_cast<uint32_t>(i * 2654435761u) ^ 0x5A5Au;
    }

private:
    static void* allocate(size_t bytes) {
        size_t rounded = (bytes + kPage - 1) / kPage * kPage;
        void* p =
            mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return nullptr;
        auto* words = static_cast<uint32_t*>(p);
        bool source = !order_.empty();
        for (size_t i = 0; i < rounded / 4; ++i)
            words[i] = source ? source_word(i) : kUntouched;
        mprotect(static_cast<char*>(p) + guard_from_, rounded - guard_from_, PROT_NONE);
        sizes_[p] = rounded;
        order_.push_back(words);
        return p;
    }
    static void release(void* p) {
        munmap(p, sizes_[p]);
        sizes_.erase(p);
    }
    static inline size_t guard_from_ = 0;
    static inline std::map<void*, size_t> sizes_;
    static inline std::vector<uint32_t*> order_;
};

struct Outcome {
    std::optional<float> speed;
    std::vector<double> fractions;
    std::vector<uint32_t> destination; // the accessible part of the destination afterwards
};

// Runs the memory test over guarded buffers and copies out what it left in the destination.
Outcome run_guarded(int m, int mem_block, std::initializer_list<uint32_t> times) {
    size_t guard = mem_block ? kMegabyte : kMegabyte + kPage;
    GuardedAllocator guarded(guard);
    CountingAllocator counting(0, guarded.allocator());
    ScriptedTimer timer(times);
    Outcome out;
    TestHooks hooks;
    hooks.progress = [&out, guard](double fraction) {
        out.fractions.push_back(fraction);
        // Between passes the buffers are still held: read the destination's state.
        const uint32_t* dst = GuardedAllocator::destination();
        out.destination.assign(dst, dst + guard / 4);
    };
    out.speed = memory_test(m, mem_block, hooks);
    EXPECT_EQ(CountingAllocator::requests(), 2);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    EXPECT_EQ(CountingAllocator::sizes(), (std::vector<size_t>{0x12C000, 0x113000}));
    EXPECT_EQ(ScriptedTimer::reads(), 4u);
    return out;
}
} // namespace

TEST(MemoryTest, WordModeCopiesWordsZeroToOneMegabyteAndNothingBeyond) {
    Outcome out = run_guarded(1, 0, {0, 1000, 0, 200});
    ASSERT_TRUE(out.speed.has_value());
    EXPECT_FLOAT_EQ(*out.speed, 2 * 40000.0f / 800);
    EXPECT_EQ(out.fractions, (std::vector<double>{0.0, 0.5, 0.5, 1.0}));
    ASSERT_EQ(out.destination.size(), (kMegabyte + kPage) / 4);
    for (size_t i = 0; i <= 262144; ++i)
        ASSERT_EQ(out.destination[i], GuardedAllocator::source_word(i)) << i;
    for (size_t i = 262144 + 1; i < out.destination.size(); ++i)
        ASSERT_EQ(out.destination[i], kUntouched) << i;
}

TEST(MemoryTest, BlockModeCopiesTheFirstMegabyteOnly) {
    // Any access at or beyond 1 MB in either buffer faults.
    Outcome out = run_guarded(2, 1, {0, 5000, 0, 1000});
    ASSERT_TRUE(out.speed.has_value());
    EXPECT_FLOAT_EQ(*out.speed, 4 * 40000.0f / 4000);
    EXPECT_EQ(out.fractions, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 0.0, 0.25, 0.5, 0.75}));
    ASSERT_EQ(out.destination.size(), kMegabyte / 4);
    for (size_t i = 0; i < out.destination.size(); ++i)
        ASSERT_EQ(out.destination[i], GuardedAllocator::source_word(i)) << i;
}

TEST(MemoryTest, WordModeProgressAndClamps) {
    Outcome two = run_guarded(2, 0, {0, 3, 0, 0});
    EXPECT_EQ(two.fractions, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 0.25, 0.5, 0.75, 1.0}));
    EXPECT_FLOAT_EQ(*two.speed, 4 * 40000.0f / 10);
    EXPECT_FLOAT_EQ(*run_guarded(1, 0, {0, 2000000, 0, 0}).speed, 0.08f);
    // An empty loop slower than the work loop wraps, and the clamp takes the result.
    EXPECT_FLOAT_EQ(*run_guarded(1, 0, {0, 100, 0, 150}).speed, 0.08f);
}

TEST(MemoryKernels, WordCopyMakes262144StepsFromBothEndsInStepOrder) {
    // With the destination one word above the source every copy reads what earlier steps wrote,
    // so the final contents record the number and the order of the copies.
    constexpr size_t kSteps = 262144;
    constexpr size_t kWords = kSteps + 2;
    std::vector<uint32_t> buffer(kWords), expected(kWords);
    for (size_t i = 0; i < kWords; ++i)
        buffer[i] = expected[i] = static_cast<uint32_t>(i);
    copy_words_both_ends(buffer.data() + 1, buffer.data());
    for (size_t k = 0; k < kSteps; ++k) {
        expected[k + 1] = expected[k];
        expected[kSteps - k + 1] = expected[kSteps - k];
    }
    EXPECT_EQ(buffer, expected);
    // All forward copies first, then all backward ones, would leave a different buffer.
    std::vector<uint32_t> split(kWords);
    for (size_t i = 0; i < kWords; ++i)
        split[i] = static_cast<uint32_t>(i);
    for (size_t k = 0; k < kSteps; ++k)
        split[k + 1] = split[k];
    for (size_t k = 0; k < kSteps; ++k)
        split[kSteps - k + 1] = split[kSteps - k];
    EXPECT_NE(buffer, split);
}

namespace {
// A block copy that records where it copied and then copies.
struct BlockCall {
    ptrdiff_t dst_offset, src_offset;
    size_t bytes;
};
std::vector<BlockCall> block_calls;
const unsigned char* block_dst_base = nullptr;
const unsigned char* block_src_base = nullptr;

// Offsets are taken against the buffers given to CountingBlockCopy, when it was given any.
void* counting_block_copy(void* dst, const void* src, size_t bytes) {
    BlockCall call{0, 0, bytes};
    if (block_dst_base != nullptr && block_src_base != nullptr) {
        call.dst_offset = static_cast<unsigned char*>(dst) - block_dst_base;
        call.src_offset = static_cast<const unsigned char*>(src) - block_src_base;
    }
    block_calls.push_back(call);
    return std::memcpy(dst, src, bytes);
}

class CountingBlockCopy {
public:
    CountingBlockCopy(const void* dst, const void* src) {
        block_calls.clear();
        block_dst_base = static_cast<const unsigned char*>(dst);
        block_src_base = static_cast<const unsigned char*>(src);
        previous_ = set_block_copy(counting_block_copy);
    }
    ~CountingBlockCopy() { set_block_copy(previous_); }
    CountingBlockCopy(const CountingBlockCopy&) = delete;
    CountingBlockCopy& operator=(const CountingBlockCopy&) = delete;

private:
    BlockCopy previous_;
};

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
} // namespace

TEST(MemoryKernels, BlockCopyCalls512LibraryCopiesOf4096BytesOverTheFirstMegabyte) {
    std::vector<unsigned char> dst(kMegabyte), src(kMegabyte, 7);
    CountingBlockCopy counting(dst.data(), src.data());
    copy_blocks_4k(dst.data(), src.data());
    ASSERT_EQ(block_calls.size(), 512u);
    for (size_t k = 0; k < 512; ++k) {
        const ptrdiff_t offset = static_cast<ptrdiff_t>((k % 256) * 4096);
        EXPECT_EQ(block_calls[k].dst_offset, offset) << k;
        EXPECT_EQ(block_calls[k].src_offset, offset) << k;
        EXPECT_EQ(block_calls[k].bytes, 4096u) << k;
    }
    EXPECT_EQ(dst, src);
}

TEST(MemoryKernels, EmptyLoopsStepAsOftenAsTheCopies) {
    RecordingScratch words;
    empty_word_steps_into(words);
    ASSERT_EQ(words.low.values.size(), 262144u);
    ASSERT_EQ(words.high.values.size(), 262144u);
    for (int32_t k = 0; k < 262144; ++k) {
        ASSERT_EQ(words.low.values[k], 262144 - k) << k;
        ASSERT_EQ(words.high.values[k], 262144 - k) << k;
    }
    EXPECT_TRUE(words.offset.values.empty());

    RecordingScratch blocks;
    empty_block_steps_into(blocks);
    ASSERT_EQ(blocks.offset.values.size(), 512u);
    for (int32_t k = 0; k < 512; ++k)
        ASSERT_EQ(blocks.offset.values[k], (k % 256) * 4096) << k;
    EXPECT_TRUE(blocks.low.values.empty());
}

namespace {
// The repetitions memory_test makes.
struct RepetitionCounts {
    int copies = 0, empties = 0;
};
RepetitionCounts repetitions;
MemoryLoops real_loops[2];

// The repetitions of mode Mode, counted and forwarded to the real loops.
template <int Mode> void counted_copy(void* dst, const void* src) {
    ++repetitions.copies;
    real_loops[Mode].copy(dst, src);
}
template <int Mode> void counted_empty() {
    ++repetitions.empties;
    real_loops[Mode].empty();
}
} // namespace

TEST(MemoryTest, EveryPassMakesTenRepetitionsInBothLoopsOfBothModes) {
    real_loops[0] = memory_loops[0];
    real_loops[1] = memory_loops[1];
    memory_loops[0] = {counted_copy<0>, counted_empty<0>};
    memory_loops[1] = {counted_copy<1>, counted_empty<1>};
    for (int mem_block : {0, 1}) {
        repetitions = {};
        std::vector<RepetitionCounts> at_pass;
        std::vector<size_t> blocks_at_pass;
        CountingAllocator counting(0);
        CountingBlockCopy blocks(nullptr, nullptr);
        ScriptedTimer timer({0, 1000, 0, 200});
        TestHooks hooks;
        hooks.progress = [&](double) {
            at_pass.push_back(repetitions);
            blocks_at_pass.push_back(block_calls.size());
        };
        ASSERT_TRUE(memory_test(2, mem_block, hooks).has_value());
        ASSERT_EQ(at_pass.size(), 8u) << mem_block;
        for (int j = 1; j <= 4; ++j) {
            EXPECT_EQ(at_pass[j - 1].copies, 10 * j) << mem_block << " work pass " << j;
            EXPECT_EQ(at_pass[j - 1].empties, 0) << mem_block << " work pass " << j;
            EXPECT_EQ(at_pass[j + 3].copies, 40) << mem_block << " empty pass " << j;
            EXPECT_EQ(at_pass[j + 3].empties, 10 * j) << mem_block << " empty pass " << j;
            // 512 × 10 blocks of 4096 bytes per pass in the 4 KB mode, none in the word mode.
            EXPECT_EQ(blocks_at_pass[j - 1], mem_block ? 5120u * j : 0u) << mem_block;
            EXPECT_EQ(blocks_at_pass[j + 3], mem_block ? 5120u * 4 : 0u) << mem_block;
        }
    }
    memory_loops[0] = real_loops[0];
    memory_loops[1] = real_loops[1];
}

namespace {
int held_while_told = -1;
}

TEST(MemoryTest, FailedAllocationsAreToldPlainlyAndHoldNothing) {
    for (int refuse : {1, 2}) {
        MessageRecorder messages;
        held_while_told = -1;
        MessageRecorder::on_message = [] { held_while_told = CountingAllocator::outstanding(); };
        CountingAllocator counting(refuse);
        bool progressed = false;
        TestHooks hooks;
        hooks.progress = [&progressed](double) { progressed = true; };
        EXPECT_FALSE(memory_test(1, 0, hooks).has_value()) << refuse;
        EXPECT_EQ(CountingAllocator::requests(), refuse);
        EXPECT_EQ(CountingAllocator::outstanding(), 0) << refuse;
        EXPECT_FALSE(progressed);
        std::string expected =
            refuse == 1 ? "Can't locate memory for handle1!" : "Can't locate memory for handle2!";
        EXPECT_EQ(MessageRecorder::plain_texts(), std::vector<std::string>{expected});
        EXPECT_TRUE(MessageRecorder::texts().empty()) << "not through QMsgBox";
        // The destination block is released only after the box about the source was closed.
        EXPECT_EQ(held_while_told, refuse - 1) << refuse;
    }
}

TEST(MemoryTest, StopBeforeTheFirstPassGivesZeroAndReleases) {
    CountingAllocator counting(0);
    ScriptedTimer timer({0, 0, 0, 0});
    volatile int stop = 1;
    TestHooks hooks;
    hooks.stop = &stop;
    std::optional<float> speed = memory_test(3, 1, hooks);
    ASSERT_TRUE(speed.has_value());
    EXPECT_EQ(*speed, 0.0f);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
}

TEST(MemoryTest, LogLine) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    log_attach(f);
    run_guarded(1, 1, {0, 1000, 0, 200});
    log_close();
    EXPECT_EQ(read_all(f), "\nMemory Test: dtgt=800 , speed=  100.0 M");
    std::fclose(f);
}
