#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>

#include "engine/measure_memory.h"
#include "tests/native/engine_test_support.h"

// The memory test over real fixed global blocks.
TEST(MemoryTestWine, FixedGlobalBlocksInBothModes) {
    BlockAllocator system = system_block_allocator();
    void* block = system.allocate(kDestinationBytes);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(GlobalSize(static_cast<HGLOBAL>(block)), kDestinationBytes);
    // A fixed block is its own address and can be written at once.
    static_cast<volatile unsigned char*>(block)[kDestinationBytes - 1] = 1;
    EXPECT_EQ(GlobalHandle(block), static_cast<HGLOBAL>(block));
    system.release(block);

    for (int mem_block : {0, 1}) {
        CountingAllocator counting(0);
        ScriptedTimer steady{0}; // a busy machine must not make it measure again
        int progress_calls = 0;
        TestHooks hooks;
        hooks.progress = [&progress_calls](double) { ++progress_calls; };
        std::optional<float> speed = memory_test(2, mem_block, hooks);
        ASSERT_TRUE(speed.has_value()) << mem_block;
        EXPECT_TRUE(std::isfinite(*speed) && *speed > 0.0f) << mem_block;
        EXPECT_EQ(progress_calls, 8) << mem_block;
        EXPECT_EQ(CountingAllocator::requests(), 2);
        EXPECT_EQ(CountingAllocator::outstanding(), 0) << mem_block;
    }
}
