#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/measure_memory.h"
#include "tests/native/engine_test_support.h"

namespace {
struct WineRun {
    std::optional<float> speed;
    int progress_calls = 0;
};

WineRun run_real(int m, int mem_block) {
    WineRun run;
    TestHooks hooks;
    hooks.progress = [&run](double) { ++run.progress_calls; };
    run.speed = memory_test(m, mem_block, hooks);
    return run;
}
} // namespace

TEST(MemoryTestWine, SystemBlocksAreFixedAndAtLeastTheSizeAsked) {
    BlockAllocator system = system_block_allocator();
    void* block = system.allocate(kDestinationBytes);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(GlobalSize(static_cast<HGLOBAL>(block)), kDestinationBytes);
    // A fixed block is its own address and can be written at once.
    static_cast<volatile unsigned char*>(block)[kDestinationBytes - 1] = 1;
    EXPECT_EQ(GlobalHandle(block), static_cast<HGLOBAL>(block));
    system.release(block);
}

TEST(MemoryTestWine, BothModesMeasureWithGlobalBlocks) {
    for (int mem_block : {0, 1}) {
        CountingAllocator counting(0);
        WineRun run = run_real(2, mem_block);
        ASSERT_TRUE(run.speed.has_value()) << mem_block;
        EXPECT_TRUE(std::isfinite(*run.speed)) << mem_block;
        EXPECT_GT(*run.speed, 0.0f) << mem_block;
        EXPECT_EQ(run.progress_calls, 8) << mem_block;
        EXPECT_EQ(CountingAllocator::requests(), 2);
        EXPECT_EQ(CountingAllocator::outstanding(), 0) << mem_block;
    }
}

TEST(MemoryTestWine, FailedAllocationsHoldNothing) {
    for (int refuse : {1, 2}) {
        MessageRecorder messages;
        CountingAllocator counting(refuse);
        WineRun run = run_real(1, 0);
        EXPECT_FALSE(run.speed.has_value());
        EXPECT_EQ(run.progress_calls, 0);
        EXPECT_EQ(CountingAllocator::requests(), refuse);
        EXPECT_EQ(CountingAllocator::outstanding(), 0) << refuse;
        std::string expected =
            refuse == 1 ? "Can't locate memory for handle1!" : "Can't locate memory for handle2!";
        EXPECT_EQ(MessageRecorder::plain_texts(), std::vector<std::string>{expected});
        EXPECT_TRUE(MessageRecorder::texts().empty());
    }
}
