#include "engine/x87_math.h"
// Every body is one asm statement on the x87 stack, with the arguments and the result in memory.
// Comparisons go through FNSTSW AX and TEST/CMP (no SAHF: early x86-64 processors lack it in
// 64-bit mode; no FCOMI: the 32-bit build keeps to the i586 set). After FTST, FUCOM and FXAM the
// status word holds C3 (0x4000), C2 (0x400), C1 (0x200, FXAM: the sign) and C0 (0x100).

namespace {
// 2π rounded to the unit's 64-bit mantissa. Doubling FLDPI would round it to the 53 bits of the
// run's precision control.
const long double kTwoPi = 6.28318530717958647692528676655900577L;
const float kHalf = 0.5f;
// |y·log2 x| beyond this over- or underflows a double anyway; the clamp keeps an infinite
// product from becoming ∞ − ∞ when it is split into integer and fraction.
const float kExponentLimit = 2000.0f;
} // namespace

// 32-bit code receives its arguments on the stack, 4-byte aligned; GCC copies a double parameter
// to an 8-byte aligned slot before an asm reads it from memory, and reads this one where the
// caller put it. The type is still double.
typedef double StackDouble __attribute__((aligned(4)));

// FSIN or FCOS. An argument beyond ±2^63 leaves C2 set and the register unchanged: it is reduced
// by 2π with FPREM1 (partial remainders, until C2 clears), then the instruction runs again.
#define KALVIT_X87_PERIODIC(name, insn)                                                            \
    __attribute__((noinline)) double name(StackDouble x) {                                         \
        double r;                                                                                  \
        asm("fldl    %[x]\n\t" insn "\n\t"                                                         \
            "fnstsw  %%ax\n\t"                                                                     \
            "testw   $0x400, %%ax\n\t"                                                             \
            "jz      2f\n\t"                                                                       \
            "fldt    %[two_pi]\n\t"                                                                \
            "fxch    %%st(1)\n"                                                                    \
            "1:\n\t"                                                                               \
            "fprem1\n\t"                                                                           \
            "fnstsw  %%ax\n\t"                                                                     \
            "testw   $0x400, %%ax\n\t"                                                             \
            "jnz     1b\n\t"                                                                       \
            "fstp    %%st(1)\n\t" insn "\n"                                                        \
            "2:\n\t"                                                                               \
            "fstpl   %[r]"                                                                         \
            : [r] "=m"(r)                                                                          \
            : [x] "m"(x), [two_pi] "m"(kTwoPi)                                                     \
            : "ax", "cc", "st", "st(1)");                                                          \
        return r;                                                                                  \
    }
KALVIT_X87_PERIODIC(x87_sin, "fsin")
KALVIT_X87_PERIODIC(x87_cos, "fcos")

// ln x = ln 2 · log2 x. FYL2X gives the C library's results at the edges: −∞ for ±0, NaN below
// zero, +∞ for +∞.
__attribute__((noinline)) double x87_log(StackDouble x) {
    double r;
    asm("fldln2\n\t"
        "fldl    %[x]\n\t"
        "fyl2x\n\t"
        "fstpl   %[r]"
        : [r] "=m"(r)
        : [x] "m"(x)
        : "st", "st(1)");
    return r;
}

// To the label when the last comparison found its operands equal, or FXAM a zero: C3 alone.
// AX keeps the masked condition bits.
#define KALVIT_X87_JUMP_IF_EQUAL(label)                                                            \
    "fnstsw  %%ax\n\t"                                                                             \
    "andw    $0x4500, %%ax\n\t"                                                                    \
    "cmpw    $0x4000, %%ax\n\t"                                                                    \
    "je      " label "\n\t"

// x^y = s · 2^t with t = y·log2|x| and the sign s = −1 for a negative x and an odd integer y.
// t is clamped, split into the nearest integer i and the fraction f in [−1/2, 1/2]; 2^f comes
// from F2XM1 plus 1, FSCALE multiplies by 2^i. The run's precision control rounds the FSUB that
// gives f and the FADD of the 1 to 53 bits (the transcendental instructions and FSCALE ignore
// it); the store to double then overflows to +∞ or underflows to a subnormal or 0 by itself.
// The special cases, in order: y = 0 gives 1 and x = 1 gives 1 (even with a NaN), then a NaN gives
// NaN. A negative x (−0 and −∞ too) takes |x|: an integer y (±∞ counts as even) keeps the sign
// for an odd one; a y that is not an integer gives NaN, except for −0 and −∞, which act as +0
// and +∞. |x| = 1 is then 1 (x = −1 with y = ±∞ among them), where t would be 0·∞.
// The comments name the stack from the top (x y: x in ST(0)).
__attribute__((noinline)) double x87_pow(StackDouble x, StackDouble y) {
    double r;
    asm("fldl    %[x]\n\t"
        "fldl    %[y]\n\t"
        "ftst\n\t" KALVIT_X87_JUMP_IF_EQUAL("7f") // y x: y = 0 gives 1
        "fld1\n\t"
        "fucomp  %%st(2)\n\t" KALVIT_X87_JUMP_IF_EQUAL("7f") // x = 1 gives 1
        "fucom   %%st(1)\n\t"
        "fnstsw  %%ax\n\t"
        "testw   $0x400, %%ax\n\t"
        "jnz     8f\n\t" // a NaN gives NaN
        "fld1\n\t"
        "fxch    %%st(2)\n\t"
        "fxam\n\t"
        "fnstsw  %%ax\n\t"
        "testw   $0x200, %%ax\n\t"
        "jz      3f\n\t" // x y s with s = 1: a positive x goes on as it is
        "fabs\n\t"
        "fld     %%st(1)\n\t"
        "frndint\n\t"
        "fucomp  %%st(2)\n\t"
        "fnstsw  %%ax\n\t"
        "testw   $0x4000, %%ax\n\t"
        "jnz     2f\n\t"                          // |x| y s: an integer y
        "fxam\n\t" KALVIT_X87_JUMP_IF_EQUAL("3f") // any other: −0 and
        "cmpw    $0x0500, %%ax\n\t"
        "je      3f\n\t" // −∞ act as +0 and +∞,
        "jmp     6f\n"   // other x have no power
        "2:\n\t"
        "fld     %%st(1)\n\t"
        "fmuls   %[half]\n\t"
        "fld     %%st(0)\n\t"
        "frndint\n\t"
        "fucompp\n\t"
        "fnstsw  %%ax\n\t"
        "testw   $0x4000, %%ax\n\t"
        "jnz     3f\n\t" // y/2 (exact) an integer: y even
        "fxch    %%st(2)\n\t"
        "fchs\n\t"
        "fxch    %%st(2)\n" // odd: s = −1
        "3:\n\t"
        "fld1\n\t"
        "fucomp  %%st(1)\n\t" KALVIT_X87_JUMP_IF_EQUAL("5f") // |x| y s: |x| = 1 gives s
        "fyl2x\n\t"
        "fcoms   %[limit]\n\t"
        "fnstsw  %%ax\n\t"
        "testw   $0x4100, %%ax\n\t"
        "jnz     4f\n\t" // t s: t above the limit is the limit
        "fstp    %%st(0)\n\t"
        "flds    %[limit]\n"
        "4:\n\t"
        "fchs\n\t"
        "fcoms   %[limit]\n\t"
        "fnstsw  %%ax\n\t"
        "testw   $0x4100, %%ax\n\t"
        "jnz     1f\n\t" // and so is −t
        "fstp    %%st(0)\n\t"
        "flds    %[limit]\n"
        "1:\n\t"
        "fchs\n\t"
        "fld     %%st(0)\n\t"
        "frndint\n\t"
        "fxch    %%st(1)\n\t"
        "fsub    %%st(1), %%st\n\t" // f i s
        "f2xm1\n\t"
        "fld1\n\t"
        "faddp\n\t" // 2^f i s
        "fscale\n\t"
        "fstp    %%st(1)\n\t"
        "fmulp\n\t" // s·2^t
        "jmp     9f\n"
        "5:\n\t"
        "fstp    %%st(0)\n\t"
        "fstp    %%st(0)\n\t"
        "jmp     9f\n" // s
        "6:\n\t"
        "fchs\n\t"
        "fsqrt\n\t"
        "fstp    %%st(1)\n\t"
        "fstp    %%st(1)\n\t"
        "jmp     9f\n" // the square root of x: NaN (invalid operation)
        "7:\n\t"
        "fstp    %%st(0)\n\t"
        "fstp    %%st(0)\n\t"
        "fld1\n\t"
        "jmp     9f\n" // 1
        "8:\n\t"
        "faddp\n" // the NaN, passed on
        "9:\n\t"
        "fstpl   %[r]"
        : [r] "=m"(r)
        : [x] "m"(x), [y] "m"(y), [half] "m"(kHalf), [limit] "m"(kExponentLimit)
        : "ax", "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)");
    return r;
}
