#include "engine/memory_kernels.h"

#include <cstring>

namespace {
// Scratch results of the empty loops, kept in memory so that their stores happen.
volatile int32_t scratch_low;
volatile int32_t scratch_high;
volatile int32_t scratch_offset;

// Called through a pointer the compiler cannot see through, so that the 4 KB copies stay calls
// of the library's general block copy instead of inlined string moves.
void* (*volatile block_copy)(void*, const void*, size_t) = std::memcpy;
} // namespace

// Volatile word pointers: each copy stays one 32-bit load and one 32-bit store, in this order,
// whatever the optimiser would like to merge or vectorise.
void copy_words_both_ends(volatile uint32_t* dst, const volatile uint32_t* src) {
    for (int k = 0; k < kCopyWordSteps; ++k) {
        dst[k] = src[k];
        dst[kCopyWordSteps - k] = src[kCopyWordSteps - k];
    }
}

void copy_blocks_4k(unsigned char* dst, const unsigned char* src) {
    for (int k = 0; k < kBlockCopies; ++k) {
        int offset = (k % kBlocksTouched) * kBlockSize;
        block_copy(dst + offset, src + offset, kBlockSize);
    }
}

void empty_word_steps() {
    for (int k = 0; k < kCopyWordSteps; ++k) {
        scratch_low = kCopyWordSteps - k;
        scratch_high = kCopyWordSteps - k;
    }
}

void empty_block_steps() {
    for (int k = 0; k < kBlockCopies; ++k)
        scratch_offset = (k % kBlocksTouched) * kBlockSize;
}
