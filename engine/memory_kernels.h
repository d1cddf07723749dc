#pragma once
#include <cstdint>
// The memory test's inner loops, one repetition per call. They live in a translation unit of
// their own so that the word copy can be checked in the object code: single 32-bit loads and
// stores, never vector moves, string moves or a call to a block copy.

constexpr int kCopyWordSteps = 262144; // word index 262 144 is byte offset 1 MB
constexpr int kBlockCopies = 512;
constexpr int kBlockSize = 4096;
constexpr int kBlocksTouched = 256;

extern "C" {
// for k = 0 .. 262 143: dst[k] = src[k], then dst[262 144 - k] = src[262 144 - k].
void copy_words_both_ends(volatile uint32_t* dst, const volatile uint32_t* src);
// 512 library block copies of 4096 bytes at (k mod 256) × 4096: the first 1 MB, twice.
void copy_blocks_4k(unsigned char* dst, const unsigned char* src);
// The same steps without touching a buffer.
void empty_word_steps();
void empty_block_steps();
}
