#include <cstdint>
#include <cstring>
// What the copy check must reject: the loops as an optimiser likes them, the word copy split into
// plain runs that become vector moves or a block copy, and the block copy inlined.

extern "C" void copy_words_both_ends(uint32_t* __restrict dst, const uint32_t* __restrict src) {
    for (int k = 0; k < 262144; ++k)
        dst[k] = src[k];
    for (int k = 0; k < 262144; ++k)
        dst[262144 - k] = src[262144 - k] + 1;
}

extern "C" void copy_blocks_4k(unsigned char* dst, const unsigned char* src) {
    for (int k = 0; k < 512; ++k)
        std::memcpy(dst + (k % 256) * 4096, src + (k % 256) * 4096, 4096);
}
