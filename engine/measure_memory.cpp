#include "engine/measure_memory.h"

#include "engine/clock.h"
#include "engine/memory_blocks.h"
#include "engine/memory_kernels.h"
#include "engine/pass_clock.h"
#include "shell/log.h"
#include "shell/msgbox.h"

namespace {
constexpr int kPassesPerAmount = 2;
constexpr int kRepetitions = 10;
constexpr double kSpeedFactor = 40000.0;
// The word copy's empty loop takes about two thirds of the copy's time, so the net time is only
// a third of the work loop's, and a change in the processor's pace between the two loops would
// show three times over in the speed. The loops therefore take turns of about this length, and
// both see the same pace.
constexpr uint32_t kChunkMs = 25;
} // namespace

MemoryLoops memory_loops[2] = {{copy_words_both_ends, empty_word_steps},
                               {copy_blocks_4k, empty_block_steps}};

std::optional<float> memory_test(int m, int mem_block, const TestHooks& hooks) {
    // A failure is told with the plain box, which drains no messages while the test still
    // holds its first block; the block goes when the user has closed the box.
    MemoryBlock destination = MemoryBlock::allocate(kDestinationBytes, memory_block_allocator);
    if (!destination) {
        plain_message_box("Can't locate memory for handle1!");
        return std::nullopt;
    }
    MemoryBlock source = MemoryBlock::allocate(kSourceBytes, memory_block_allocator);
    if (!source) {
        plain_message_box("Can't locate memory for handle2!");
        return std::nullopt;
    }
    const MemoryLoops loops = memory_loops[mem_block ? 1 : 0];

    const long long passes = m > 0 ? static_cast<long long>(m) * kPassesPerAmount : 0;
    PassClock work_clock(passes), empty_clock(passes);
    const std::optional<Measurement> kept =
        measure_undisturbed("Memory Test", kWorkAndEmpty, hooks, [&] {
            // The loops take turns: work passes, then as many empty passes. The first turn lasts
            // at least kChunkMs and fixes how many passes every turn has: a turn that ended on
            // the timer's tick would shift the tick's rounding from one loop to the other.
            uint32_t now = work_clock.start();
            empty_clock.restart_at(now);
            long long work_passes = 0, empty_passes = 0, turn = 0;
            while (work_passes < passes && !hooks.stopped()) {
                const uint32_t turn_start = now;
                long long in_turn = 0;
                work_clock.resume_at(now);
                do {
                    for (int r = 0; r < kRepetitions; ++r)
                        loops.copy(destination.data(), source.data());
                    ++work_passes;
                    ++in_turn;
                    hooks.report(static_cast<double>(work_passes - 1) * 0.5 / m);
                    now = work_clock.pass();
                } while ((turn == 0 ? now - turn_start < kChunkMs : in_turn < turn) &&
                         work_passes < passes && !hooks.stopped());
                if (turn == 0)
                    turn = in_turn;

                empty_clock.resume_at(now);
                while (empty_passes < work_passes && !hooks.stopped()) {
                    for (int r = 0; r < kRepetitions; ++r)
                        loops.empty();
                    ++empty_passes;
                    // The 4 KB mode shows the same fractions as its work loop, the word mode one
                    // pass ahead.
                    const long long shown = mem_block ? empty_passes - 1 : empty_passes;
                    hooks.report(static_cast<double>(shown) * 0.5 / m);
                    now = empty_clock.pass();
                }
            }
            Measurement r = timed_loops(work_clock, empty_clock);
            r.dtgt = net_time(work_clock.elapsed(), empty_clock.elapsed());
            r.speed = speed_from(static_cast<uint32_t>(empty_passes), kSpeedFactor, r.dtgt);
            return std::optional<Measurement>(r);
        });
    QMsgLog("Memory Test: dtgt=%d , speed=%7.1f M", static_cast<int>(kept->dtgt),
            static_cast<double>(kept->speed));
    return kept->speed;
}
