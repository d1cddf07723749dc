#include "engine/memory_kernels.h"

#include <cstring>

namespace {
// Scratch results of the empty loops, kept in memory so that their stores happen.
struct Scratch {
    volatile int32_t low;
    volatile int32_t high;
    volatile int32_t offset;
};
Scratch scratch;

// Called through a pointer the compiler cannot see through, so that the 4 KB copies stay calls
// of the library's general block copy instead of inlined string moves.
void* (*volatile block_copy)(void*, const void*, size_t) = std::memcpy;
} // namespace

BlockCopy set_block_copy(BlockCopy copy) {
    BlockCopy previous = block_copy;
    block_copy = copy != nullptr ? copy : std::memcpy;
    return previous;
}

// Volatile word pointers: each copy stays one 32-bit load and one 32-bit store, in this order,
// whatever the optimiser would like to merge or vectorise.
void copy_words_both_ends(void* dst_bytes, const void* src_bytes) {
    volatile uint32_t* dst = static_cast<volatile uint32_t*>(dst_bytes);
    const volatile uint32_t* src = static_cast<const volatile uint32_t*>(src_bytes);
    for (int k = 0; k < kCopyWordSteps; ++k) {
        dst[k] = src[k];
        dst[kCopyWordSteps - k] = src[kCopyWordSteps - k];
    }
}

void copy_blocks_4k(void* dst_bytes, const void* src_bytes) {
    unsigned char* dst = static_cast<unsigned char*>(dst_bytes);
    const unsigned char* src = static_cast<const unsigned char*>(src_bytes);
    for (int k = 0; k < kBlockCopies; ++k) {
        int offset = (k % kBlocksTouched) * kBlockSize;
        block_copy(dst + offset, src + offset, kBlockSize);
    }
}

void empty_word_steps() {
    empty_word_steps_into(scratch);
}

void empty_block_steps() {
    empty_block_steps_into(scratch);
}
