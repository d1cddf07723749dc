#pragma once
#include <cstddef>
#include <cstdint>
// The memory test's inner loops, one repetition per call. They live in a translation unit of
// their own so that the object-code check reads exactly them: the word copy keeps single
// 32-bit loads and stores, the block copy calls the library, the empty loops store their
// scratch values at every step.

constexpr int kCopyWordSteps = 262144; // word index 262 144 is byte offset 1 MB
constexpr int kBlockCopies = 512;
constexpr int kBlockSize = 4096;
constexpr int kBlocksTouched = 256;

extern "C" {
// for k = 0 .. 262 143: dst[k] = src[k], then dst[262 144 - k] = src[262 144 - k], in 32-bit
// words.
void copy_words_both_ends(void* dst, const void* src);
// 512 library block copies of 4096 bytes at (k mod 256) × 4096: the first 1 MB, twice.
void copy_blocks_4k(void* dst, const void* src);
// The same steps without touching a buffer.
void empty_word_steps();
void empty_block_steps();
}

// The block copy that copy_blocks_4k calls: the library's memcpy unless a test put another in
// its place. Returns the previous one; null puts memcpy back.
using BlockCopy = void* (*)(void* dst, const void* src, size_t bytes);
BlockCopy set_block_copy(BlockCopy copy);

// The bodies of the empty loops over a scratch of the caller's. The program's scratch is
// volatile memory, so that every store is made; tests pass one that counts them.
template <class Scratch> void empty_word_steps_into(Scratch& s) {
    for (int k = 0; k < kCopyWordSteps; ++k) {
        s.low = kCopyWordSteps - k;
        s.high = kCopyWordSteps - k;
    }
}

template <class Scratch> void empty_block_steps_into(Scratch& s) {
    for (int k = 0; k < kBlockCopies; ++k)
        s.offset = (k % kBlocksTouched) * kBlockSize;
}
