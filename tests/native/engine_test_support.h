#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "engine/clock.h"
#include "engine/memory_blocks.h"
#include "shell/msgbox.h"
#include "tests/read_all.h"
// Test doubles for the engine: a scripted millisecond timer, a recorder for user messages and an
// allocator that counts what it hands out. Each puts back what it replaced when it goes.

// Each read of ms_timer returns the next scripted value (the last one again when the script is
// used up) and is counted.
class ScriptedTimer {
public:
    ScriptedTimer(std::initializer_list<uint32_t> times)
        : ScriptedTimer(std::vector<uint32_t>(times)) {}
    explicit ScriptedTimer(std::vector<uint32_t> times) : previous_(ms_timer) {
        times_ = std::move(times);
        reads_ = 0;
        ms_timer = read;
    }
    ~ScriptedTimer() { ms_timer = previous_; }
    ScriptedTimer(const ScriptedTimer&) = delete;
    ScriptedTimer& operator=(const ScriptedTimer&) = delete;
    static size_t reads() { return reads_; }

private:
    static uint32_t read() {
        size_t i = reads_ < times_.size() ? reads_ : times_.size() - 1;
        ++reads_;
        return times_.empty() ? 0 : times_[i];
    }
    MsTimer previous_;
    static inline std::vector<uint32_t> times_;
    static inline size_t reads_ = 0;
};

// The reads of one timed loop: its start, then the end of each of `passes` passes, spread evenly
// over `ms`; a disturbed pass takes `extra` ms more.
inline std::vector<uint32_t> loop_reads(uint32_t start, int passes, uint32_t ms,
                                        int disturbed_pass = 0, uint32_t extra = 0) {
    std::vector<uint32_t> reads{start};
    for (int j = 1; j <= passes; ++j)
        reads.push_back(start + static_cast<uint32_t>(uint64_t{ms} * j / passes) +
                        (disturbed_pass != 0 && j >= disturbed_pass ? extra : 0));
    return reads;
}

inline std::vector<uint32_t> joined(std::initializer_list<std::vector<uint32_t>> parts) {
    std::vector<uint32_t> all;
    for (const std::vector<uint32_t>& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The reads of two loops that take turns, as the memory test's do: work passes until
// `turn_ms` have passed, then as many empty passes, and so on with turns of as many passes as
// the first; `passes` of each in all, the work passes spread evenly over `work` ms and the empty
// ones over `empty` ms.
inline std::vector<uint32_t> turn_reads(int passes, uint32_t work, uint32_t empty,
                                        uint32_t turn_ms = 25) {
    auto at = [&](int w, int e) {
        return static_cast<uint32_t>(uint64_t{work} * w / passes + uint64_t{empty} * e / passes);
    };
    std::vector<uint32_t> reads{0};
    int w = 0, e = 0, turn = 0;
    while (w < passes) {
        const uint32_t turn_start = at(w, e);
        int in_turn = 0;
        do {
            reads.push_back(at(++w, e));
            ++in_turn;
        } while ((turn == 0 ? reads.back() - turn_start < turn_ms : in_turn < turn) && w < passes);
        turn = turn == 0 ? in_turn : turn;
        while (e < w)
            reads.push_back(at(w, ++e));
    }
    return reads;
}

// Collects the texts of QMsgBox and of the plain box apart instead of showing them; on_message
// may look at the state of things while a box would be open.
class MessageRecorder {
public:
    MessageRecorder()
        : previous_(set_message_presenter(record<0>)),
          previous_plain_(set_plain_message_presenter(record<1>)) {
        texts_[0].clear();
        texts_[1].clear();
        on_message = nullptr;
    }
    ~MessageRecorder() {
        set_message_presenter(previous_);
        set_plain_message_presenter(previous_plain_);
        on_message = nullptr;
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    static const std::vector<std::string>& texts() { return texts_[0]; }
    static const std::vector<std::string>& plain_texts() { return texts_[1]; }
    static inline void (*on_message)() = nullptr;

private:
    template <int Kind> static void record(const char* text) {
        texts_[Kind].emplace_back(text);
        if (on_message)
            on_message();
    }
    MessagePresenter previous_, previous_plain_;
    static inline std::vector<std::string> texts_[2];
};

// The memory test's allocator: passes requests to an inner allocator and can refuse the n-th
// request (1-based; 0 refuses none).
class CountingAllocator {
public:
    explicit CountingAllocator(int refuse_request, BlockAllocator inner = system_block_allocator())
        : previous_(memory_block_allocator) {
        inner_ = inner;
        refuse_ = refuse_request;
        requests_ = outstanding_ = 0;
        sizes_.clear();
        memory_block_allocator = {allocate, release};
    }
    ~CountingAllocator() { memory_block_allocator = previous_; }
    CountingAllocator(const CountingAllocator&) = delete;
    CountingAllocator& operator=(const CountingAllocator&) = delete;
    static int requests() { return requests_; }
    static int outstanding() { return outstanding_; }
    static const std::vector<size_t>& sizes() { return sizes_; }

private:
    static void* allocate(size_t bytes) {
        sizes_.push_back(bytes);
        void* block = ++requests_ == refuse_ ? nullptr : inner_.allocate(bytes);
        outstanding_ += block != nullptr;
        return block;
    }
    static void release(void* block) {
        --outstanding_;
        inner_.release(block);
    }
    BlockAllocator previous_;
    static inline BlockAllocator inner_{};
    static inline int refuse_ = 0, requests_ = 0, outstanding_ = 0;
    static inline std::vector<size_t> sizes_;
};
