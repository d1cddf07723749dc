#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/memory_blocks.h"
#include "shell/msgbox.h"
#include "tests/read_all.h"
// Test doubles for the engine: a scripted millisecond timer, a recorder for user messages and an
// allocator that counts what it hands out.

// Replaces ms_timer while alive; each read returns the next scripted value (the last one again
// when the script is used up) and counts the reads.
class ScriptedTimer {
public:
    ScriptedTimer(std::initializer_list<uint32_t> times) : previous_(ms_timer) {
        times_.assign(times);
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

// Collects the texts of QMsgBox and of the plain box apart instead of showing them. A test may
// set `on_message` to look at the state of things while a box would be open.
class MessageRecorder {
public:
    MessageRecorder()
        : previous_(set_message_presenter(record)),
          previous_plain_(set_plain_message_presenter(record_plain)) {
        texts_.clear();
        plain_texts_.clear();
        on_message = nullptr;
    }
    ~MessageRecorder() {
        set_message_presenter(previous_);
        set_plain_message_presenter(previous_plain_);
        on_message = nullptr;
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    static const std::vector<std::string>& texts() { return texts_; }
    static const std::vector<std::string>& plain_texts() { return plain_texts_; }
    static inline void (*on_message)() = nullptr;

private:
    static void record(const char* text) {
        texts_.emplace_back(text);
        if (on_message)
            on_message();
    }
    static void record_plain(const char* text) {
        plain_texts_.emplace_back(text);
        if (on_message)
            on_message();
    }
    MessagePresenter previous_;
    MessagePresenter previous_plain_;
    static inline std::vector<std::string> texts_;
    static inline std::vector<std::string> plain_texts_;
};

// Installs itself as the memory test's allocator, passes requests to an inner allocator and can
// refuse the n-th request (1-based; 0 refuses none).
class CountingAllocator {
public:
    explicit CountingAllocator(int refuse_request, BlockAllocator inner = system_block_allocator())
        : previous_(memory_block_allocator) {
        inner_ = inner;
        refuse_ = refuse_request;
        requests_ = 0;
        outstanding_ = 0;
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
        ++requests_;
        sizes_.push_back(bytes);
        if (requests_ == refuse_)
            return nullptr;
        void* block = inner_.allocate(bytes);
        if (block != nullptr)
            ++outstanding_;
        return block;
    }
    static void release(void* block) {
        --outstanding_;
        inner_.release(block);
    }
    BlockAllocator previous_;
    static inline BlockAllocator inner_{};
    static inline int refuse_ = 0;
    static inline int requests_ = 0;
    static inline int outstanding_ = 0;
    static inline std::vector<size_t> sizes_;
};
