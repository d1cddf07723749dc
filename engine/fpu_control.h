#pragma once
#include <cstdint>
// The x87 control word of a test run: all exceptions masked, 53-bit precision, round to
// nearest. On x86-64, float and double arithmetic is SSE and ignores it; it governs the x87 code
// that remains: long double (the speed arithmetic) and library routines written for the x87.

constexpr uint16_t kRunControlWord = 0x027F;

inline uint16_t x87_control_word() {
    uint16_t cw = 0;
    asm volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

// Reinitialises the unit, then loads the run's control word.
inline void load_run_control_word() {
    const uint16_t cw = kRunControlWord;
    asm volatile("fninit\n\tfldcw %0" : : "m"(cw));
}
