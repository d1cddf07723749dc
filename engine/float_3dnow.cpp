#include "engine/float_3dnow.h"

#include <cstdint>

#include "engine/float_loops.h"

// The kernels are assembly routines with their own convention: arguments in MM0 (power: x in MM0,
// y in MM1), result in MM0; they may change MM0-MM7, EAX, EDX and the flags. Their constants are
// quadword pairs in the program's data, addressed by name from the assembly (and by the tests
// that pin their bit patterns).

#define KALVIT_3DN_DATA(type, name) alignas(8) extern const type name[2] asm(#name)
#define KALVIT_3DN_SPLAT(type, name, value) KALVIT_3DN_DATA(type, name) = {value, value}

KALVIT_3DN_SPLAT(uint32_t, k3dn_sign, 0x80000000u);
KALVIT_3DN_SPLAT(uint32_t, k3dn_abs, 0x7FFFFFFFu);
KALVIT_3DN_SPLAT(uint32_t, k3dn_mantissa, 0x007FFFFFu);
KALVIT_3DN_SPLAT(uint32_t, k3dn_exponent_step, 0x00800000u);
KALVIT_3DN_SPLAT(uint32_t, k3dn_nan, 0x7FC00000u);
KALVIT_3DN_SPLAT(int32_t, k3dn_int_1, 1);
KALVIT_3DN_SPLAT(int32_t, k3dn_int_2, 2);
KALVIT_3DN_SPLAT(int32_t, k3dn_int_4, 4);
KALVIT_3DN_SPLAT(int32_t, k3dn_int_127, 127);
KALVIT_3DN_SPLAT(float, k3dn_one, 1.0f);
KALVIT_3DN_SPLAT(float, k3dn_half, 0.5f);
KALVIT_3DN_SPLAT(float, k3dn_max, 3.4028235e38f);
KALVIT_3DN_SPLAT(float, k3dn_neg_max, -3.4028235e38f);
// Sine and cosine: 8192π limit, 4/π, π/4 in two parts, and the factors of the two nested series
// as (sine lane, cosine lane); the sine series has one step fewer, so it starts with 0.
KALVIT_3DN_SPLAT(float, k3dn_limit, 25735.928f);
KALVIT_3DN_SPLAT(float, k3dn_4_pi, 1.2732395f);
KALVIT_3DN_SPLAT(float, k3dn_pio4_hi, 0.78515625f);
KALVIT_3DN_SPLAT(float, k3dn_pio4_lo, 0.00024191340f);
KALVIT_3DN_DATA(float, k3dn_series_1) = {0.0f, 1.0f / 56};
KALVIT_3DN_DATA(float, k3dn_series_2) = {1.0f / 42, 1.0f / 30};
KALVIT_3DN_DATA(float, k3dn_series_3) = {1.0f / 20, 1.0f / 12};
KALVIT_3DN_DATA(float, k3dn_series_4) = {1.0f / 6, 1.0f / 2};
// Logarithm: √2, the odd series of ln((1 + z)/(1 − z)) / 2z, ln 2 in two parts, log2 e.
KALVIT_3DN_SPLAT(float, k3dn_sqrt2, 1.4142135f);
KALVIT_3DN_SPLAT(float, k3dn_ln_c1, 0.33333388f);
KALVIT_3DN_SPLAT(float, k3dn_ln_c2, 0.19988798f);
KALVIT_3DN_SPLAT(float, k3dn_ln_c3, 0.14935258f);
KALVIT_3DN_SPLAT(float, k3dn_ln2_hi, 0.69314575f);
KALVIT_3DN_SPLAT(float, k3dn_ln2_lo, 0.0000014286068f);
KALVIT_3DN_SPLAT(float, k3dn_ln2, 0.69314718f);
KALVIT_3DN_SPLAT(float, k3dn_log2e, 1.44269504f);
// Power: the exponent range taken (2^-127 builds a zero scale; the top gives the largest float),
// the (3,3) Padé form of e^u = 1 + 2uA/(B − uA), A = 60 + u², B = 120 + 12u².
KALVIT_3DN_SPLAT(float, k3dn_t_min, -127.0f);
KALVIT_3DN_SPLAT(float, k3dn_t_max, 127.99999f);
KALVIT_3DN_SPLAT(float, k3dn_below_two, 1.9999999f);
KALVIT_3DN_SPLAT(float, k3dn_12, 12.0f);
KALVIT_3DN_SPLAT(float, k3dn_60, 60.0f);
KALVIT_3DN_SPLAT(float, k3dn_120, 120.0f);

// The constants are addressed relative to the instruction pointer in 64-bit code and by their
// absolute address in 32-bit code.
#if defined(__x86_64__)
#define K3DN_ADDR "(%rip)"
#else
#define K3DN_ADDR ""
#endif

#define KALVIT_3DN_KERNEL(name) __attribute__((naked, used)) static void name() asm(#name)

// MM0 = a = |x| < 8192π. Returns MM0 = (sin r, cos r) and MM2 = octant k, where r is the
// remainder of a after k × π/4, reflected to π/4 − r in odd octants.
KALVIT_3DN_KERNEL(k3dn_sincos);
static void k3dn_sincos() {
    asm("movq      %mm0, %mm1\n\t"
        "pfmul     k3dn_4_pi" K3DN_ADDR ", %mm1\n\t"
        "pf2id     %mm1, %mm2\n\t"
        "pi2fd     %mm2, %mm1\n\t"
        "movq      %mm1, %mm3\n\t"
        "pfmul     k3dn_pio4_hi" K3DN_ADDR ", %mm3\n\t"
        "pfmul     k3dn_pio4_lo" K3DN_ADDR ", %mm1\n\t"
        "pfsub     %mm3, %mm0\n\t"
        "pfsub     %mm1, %mm0\n\t"
        "movq      k3dn_pio4_hi" K3DN_ADDR ", %mm4\n\t"
        "pfsub     %mm0, %mm4\n\t"
        "pfadd     k3dn_pio4_lo" K3DN_ADDR ", %mm4\n\t"
        "movq      %mm2, %mm3\n\t"
        "pand      k3dn_int_1" K3DN_ADDR ", %mm3\n\t"
        "pcmpeqd   k3dn_int_1" K3DN_ADDR ", %mm3\n\t"
        "pand      %mm3, %mm4\n\t"
        "pandn     %mm0, %mm3\n\t"
        "por       %mm4, %mm3\n\t"
        "punpckldq %mm3, %mm3\n\t"
        "movq      %mm3, %mm4\n\t"
        "pfmul     %mm4, %mm4\n\t"
        "movq      %mm4, %mm5\n\t"
        "pfmul     k3dn_series_1" K3DN_ADDR ", %mm5\n\t"
        "movq      k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "pfsub     %mm5, %mm0\n\t"
        "movq      %mm4, %mm5\n\t"
        "pfmul     k3dn_series_2" K3DN_ADDR ", %mm5\n\t"
        "pfmul     %mm0, %mm5\n\t"
        "movq      k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "pfsub     %mm5, %mm0\n\t"
        "movq      %mm4, %mm5\n\t"
        "pfmul     k3dn_series_3" K3DN_ADDR ", %mm5\n\t"
        "pfmul     %mm0, %mm5\n\t"
        "movq      k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "pfsub     %mm5, %mm0\n\t"
        "movq      %mm4, %mm5\n\t"
        "pfmul     k3dn_series_4" K3DN_ADDR ", %mm5\n\t"
        "pfmul     %mm0, %mm5\n\t"
        "movq      k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "pfsub     %mm5, %mm0\n\t"
        "punpckldq k3dn_one" K3DN_ADDR ", %mm3\n\t"
        "pfmul     %mm3, %mm0\n\t"
        "ret");
}

// Octants 1 and 2 (mod 4) take the cosine lane; octants 4 to 7 negate; the sine is odd.
KALVIT_3DN_KERNEL(k3dn_sin);
static void k3dn_sin() {
    asm("movq      %mm0, %mm7\n\t"
        "pand      k3dn_sign" K3DN_ADDR ", %mm7\n\t"
        "pand      k3dn_abs" K3DN_ADDR ", %mm0\n\t"
        "movq      %mm0, %mm1\n\t"
        "pfcmpge   k3dn_limit" K3DN_ADDR ", %mm1\n\t"
        "movd      %mm1, %eax\n\t"
        "test      %eax, %eax\n\t"
        "jnz       1f\n\t"
        "call      k3dn_sincos\n\t"
        "movq      %mm2, %mm3\n\t"
        "paddd     k3dn_int_1" K3DN_ADDR ", %mm3\n\t"
        "pand      k3dn_int_2" K3DN_ADDR ", %mm3\n\t"
        "pcmpeqd   k3dn_int_2" K3DN_ADDR ", %mm3\n\t"
        "movq      %mm0, %mm1\n\t"
        "punpckhdq %mm1, %mm1\n\t"
        "pand      %mm3, %mm1\n\t"
        "pandn     %mm0, %mm3\n\t"
        "por       %mm3, %mm1\n\t"
        "pand      k3dn_int_4" K3DN_ADDR ", %mm2\n\t"
        "pslld     $29, %mm2\n\t"
        "pxor      %mm7, %mm2\n\t"
        "pxor      %mm2, %mm1\n\t"
        "movq      %mm1, %mm0\n\t"
        "ret\n"
        "1:\n\t"
        "pxor      %mm0, %mm0\n\t"
        "ret");
}

// Octants 1 and 2 (mod 4) take the sine lane; octants 2 to 5 negate.
KALVIT_3DN_KERNEL(k3dn_cos);
static void k3dn_cos() {
    asm("pand      k3dn_abs" K3DN_ADDR ", %mm0\n\t"
        "movq      %mm0, %mm1\n\t"
        "pfcmpge   k3dn_limit" K3DN_ADDR ", %mm1\n\t"
        "movd      %mm1, %eax\n\t"
        "test      %eax, %eax\n\t"
        "jnz       1f\n\t"
        "call      k3dn_sincos\n\t"
        "movq      %mm2, %mm3\n\t"
        "paddd     k3dn_int_1" K3DN_ADDR ", %mm3\n\t"
        "pand      k3dn_int_2" K3DN_ADDR ", %mm3\n\t"
        "pcmpeqd   k3dn_int_2" K3DN_ADDR ", %mm3\n\t"
        "movq      %mm0, %mm1\n\t"
        "punpckhdq %mm1, %mm1\n\t"
        "pand      %mm3, %mm0\n\t"
        "pandn     %mm1, %mm3\n\t"
        "por       %mm3, %mm0\n\t"
        "paddd     k3dn_int_2" K3DN_ADDR ", %mm2\n\t"
        "pand      k3dn_int_4" K3DN_ADDR ", %mm2\n\t"
        "pslld     $29, %mm2\n\t"
        "pxor      %mm2, %mm0\n\t"
        "ret\n"
        "1:\n\t"
        "movq      k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "ret");
}

// MM0 = x, positive and normal. Returns MM0 = ln m and MM1 = e (as a float) with x = m × 2^e and
// √2/2 < m ≤ √2; ln m = 2z + 2z·z²·(c1 + z²(c2 + z² c3)), z = (m − 1)/(m + 1).
KALVIT_3DN_KERNEL(k3dn_ln_split);
static void k3dn_ln_split() {
    asm("movq      %mm0, %mm1\n\t"
        "psrld     $23, %mm1\n\t"
        "psubd     k3dn_int_127" K3DN_ADDR ", %mm1\n\t"
        "pand      k3dn_mantissa" K3DN_ADDR ", %mm0\n\t"
        "por       k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "movq      %mm0, %mm2\n\t"
        "pfcmpgt   k3dn_sqrt2" K3DN_ADDR ", %mm2\n\t"
        "movq      %mm2, %mm3\n\t"
        "pand      k3dn_exponent_step" K3DN_ADDR ", %mm3\n\t"
        "psubd     %mm3, %mm0\n\t"
        "psubd     %mm2, %mm1\n\t"
        "pi2fd     %mm1, %mm1\n\t"
        "movq      %mm0, %mm2\n\t"
        "pfadd     k3dn_one" K3DN_ADDR ", %mm2\n\t"
        "pfsub     k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "pfrcp     %mm2, %mm3\n\t"
        "pfrcpit1  %mm3, %mm2\n\t"
        "pfrcpit2  %mm3, %mm2\n\t"
        "pfmul     %mm2, %mm0\n\t"
        "movq      %mm0, %mm2\n\t"
        "pfmul     %mm2, %mm2\n\t"
        "movq      %mm2, %mm3\n\t"
        "pfmul     k3dn_ln_c3" K3DN_ADDR ", %mm3\n\t"
        "pfadd     k3dn_ln_c2" K3DN_ADDR ", %mm3\n\t"
        "pfmul     %mm2, %mm3\n\t"
        "pfadd     k3dn_ln_c1" K3DN_ADDR ", %mm3\n\t"
        "pfadd     %mm0, %mm0\n\t"
        "pfmul     %mm0, %mm2\n\t"
        "pfmul     %mm3, %mm2\n\t"
        "pfadd     %mm2, %mm0\n\t"
        "ret");
}

KALVIT_3DN_KERNEL(k3dn_log);
static void k3dn_log() {
    asm("movd      %mm0, %eax\n\t"
        "test      $0x7F800000, %eax\n\t"
        "jz        1f\n\t"
        "test      %eax, %eax\n\t"
        "js        2f\n\t"
        "call      k3dn_ln_split\n\t"
        "movq      %mm1, %mm2\n\t"
        "pfmul     k3dn_ln2_lo" K3DN_ADDR ", %mm2\n\t"
        "pfadd     %mm2, %mm0\n\t"
        "pfmul     k3dn_ln2_hi" K3DN_ADDR ", %mm1\n\t"
        "pfadd     %mm1, %mm0\n\t"
        "ret\n"
        "1:\n\t"
        "movq      k3dn_neg_max" K3DN_ADDR ", %mm0\n\t"
        "ret\n"
        "2:\n\t"
        "movq      k3dn_nan" K3DN_ADDR ", %mm0\n\t"
        "ret");
}

// MM0 = x > 0 (normal), MM1 = y. 2^(y log2 x): the floor i of the saturated exponent goes into the
// exponent bits, 2^f of the fraction comes from √2 × e^((f − 1/2) ln 2). Keeps EDX.
KALVIT_3DN_KERNEL(k3dn_pow_positive);
static void k3dn_pow_positive() {
    asm("movq      %mm1, %mm6\n\t"
        "call      k3dn_ln_split\n\t"
        "pfmul     k3dn_log2e" K3DN_ADDR ", %mm0\n\t"
        "pfadd     %mm1, %mm0\n\t"
        "pfmul     %mm6, %mm0\n\t"
        "pfmax     k3dn_t_min" K3DN_ADDR ", %mm0\n\t"
        "pfmin     k3dn_t_max" K3DN_ADDR ", %mm0\n\t"
        "pf2id     %mm0, %mm1\n\t"
        "pi2fd     %mm1, %mm2\n\t"
        "pfcmpgt   %mm0, %mm2\n\t"
        "paddd     %mm2, %mm1\n\t"
        "pi2fd     %mm1, %mm2\n\t"
        "pfsub     %mm2, %mm0\n\t"
        "pfsub     k3dn_half" K3DN_ADDR ", %mm0\n\t"
        "pfmul     k3dn_ln2" K3DN_ADDR ", %mm0\n\t"
        "movq      %mm0, %mm2\n\t"
        "pfmul     %mm2, %mm2\n\t"
        "movq      %mm2, %mm3\n\t"
        "pfadd     k3dn_60" K3DN_ADDR ", %mm3\n\t"
        "pfmul     k3dn_12" K3DN_ADDR ", %mm2\n\t"
        "pfadd     k3dn_120" K3DN_ADDR ", %mm2\n\t"
        "pfmul     %mm0, %mm3\n\t"
        "pfsub     %mm3, %mm2\n\t"
        "pfrcp     %mm2, %mm4\n\t"
        "pfrcpit1  %mm4, %mm2\n\t"
        "pfrcpit2  %mm4, %mm2\n\t"
        "pfmul     %mm2, %mm3\n\t"
        "pfadd     %mm3, %mm3\n\t"
        "pfadd     k3dn_one" K3DN_ADDR ", %mm3\n\t"
        "pfmul     k3dn_sqrt2" K3DN_ADDR ", %mm3\n\t"
        "pfmin     k3dn_below_two" K3DN_ADDR ", %mm3\n\t"
        "paddd     k3dn_int_127" K3DN_ADDR ", %mm1\n\t"
        "pslld     $23, %mm1\n\t"
        "pfmul     %mm1, %mm3\n\t"
        "movq      %mm3, %mm0\n\t"
        "ret");
}

KALVIT_3DN_KERNEL(k3dn_pow);
static void k3dn_pow() {
    asm("movd      %mm0, %eax\n\t"
        "test      $0x7F800000, %eax\n\t"
        "jz        1f\n\t"
        "test      %eax, %eax\n\t"
        "js        4f\n\t"
        "jmp       k3dn_pow_positive\n"
        // x is zero: 0, 1 or the saturated pole by the sign of y.
        "1:\n\t"
        "movd      %mm1, %eax\n\t"
        "test      $0x7F800000, %eax\n\t"
        "jz        2f\n\t"
        "test      %eax, %eax\n\t"
        "js        3f\n\t"
        "pxor      %mm0, %mm0\n\t"
        "ret\n"
        "2:\n\t"
        "movq      k3dn_one" K3DN_ADDR ", %mm0\n\t"
        "ret\n"
        "3:\n\t"
        "movq      k3dn_max" K3DN_ADDR ", %mm0\n\t"
        "ret\n"
        // x is negative: only integral y have a real power; |y| ≥ 2^24 is even.
        "4:\n\t"
        "pand      k3dn_abs" K3DN_ADDR ", %mm0\n\t"
        "movd      %mm1, %eax\n\t"
        "and       $0x7FFFFFFF, %eax\n\t"
        "cmp       $0x4B800000, %eax\n\t"
        "jae       k3dn_pow_positive\n\t"
        "movq      %mm1, %mm2\n\t"
        "pf2id     %mm2, %mm2\n\t"
        "pi2fd     %mm2, %mm3\n\t"
        "pfcmpeq   %mm1, %mm3\n\t"
        "movd      %mm3, %eax\n\t"
        "test      %eax, %eax\n\t"
        "jz        5f\n\t"
        "movd      %mm2, %edx\n\t"
        "call      k3dn_pow_positive\n\t"
        "shl       $31, %edx\n\t"
        "movd      %edx, %mm1\n\t"
        "pxor      %mm1, %mm0\n\t"
        "ret\n"
        "5:\n\t"
        "movq      k3dn_nan" K3DN_ADDR ", %mm0\n\t"
        "ret");
}

namespace {
// A wrapper: FEMMS, the argument into MM0 (power also takes y into MM1), the call, the result to
// memory, FEMMS; the compiler then returns the float from memory (on the x87 stack in 32-bit
// code, which is why the multimedia state must be left first). In 64-bit code the call goes below
// the red zone so that its return address cannot overwrite the caller's locals; 32-bit code has
// no red zone.
#if defined(__x86_64__)
#define KALVIT_3DN_CALL                                                                            \
    "lea -128(%%rsp), %%rsp\n\t"                                                                   \
    "call %P[kernel]\n\t"                                                                          \
    "lea 128(%%rsp), %%rsp\n\t"                                                                    \
    "movd %%mm0, %[r]\n\t"                                                                         \
    "femms"
#else
#define KALVIT_3DN_CALL                                                                            \
    "call %P[kernel]\n\t"                                                                          \
    "movd %%mm0, %[r]\n\t"                                                                         \
    "femms"
#endif
// The MMX registers are the x87 registers under other names. Code built without MMX (the 32-bit
// build keeps to the i586 set) cannot name them, and the x87 clobbers cover them there.
#if defined(__MMX__)
#define KALVIT_3DN_MMX_CLOBBERS "mm0", "mm1", "mm2", "mm3", "mm4", "mm5", "mm6", "mm7",
#else
#define KALVIT_3DN_MMX_CLOBBERS
#endif
#define KALVIT_3DN_CLOBBERS                                                                        \
    KALVIT_3DN_MMX_CLOBBERS "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)",   \
        "eax", "edx", "cc"

template <void (*Kernel)()> float call_kernel(float x) {
    float r;
    asm volatile("femms\n\t"
                 "movd %[x], %%mm0\n\t" KALVIT_3DN_CALL
                 : [r] "=m"(r)
                 : [x] "m"(x), [kernel] "i"(Kernel)
                 : KALVIT_3DN_CLOBBERS);
    return r;
}

template <void (*Kernel)()> float call_kernel(float x, float y) {
    float r;
    asm volatile("femms\n\t"
                 "movd %[x], %%mm0\n\t"
                 "movd %[y], %%mm1\n\t" KALVIT_3DN_CALL
                 : [r] "=m"(r)
                 : [x] "m"(x), [y] "m"(y), [kernel] "i"(Kernel)
                 : KALVIT_3DN_CLOBBERS);
    return r;
}
} // namespace

float amd_power(float x, float y) {
    return call_kernel<k3dn_pow>(x, y);
}
float amd_log(float x) {
    return call_kernel<k3dn_log>(x);
}
float amd_sin(float x) {
    return call_kernel<k3dn_sin>(x);
}
float amd_cos(float x) {
    return call_kernel<k3dn_cos>(x);
}
void amd_leave() {
    asm volatile("emms");
}

FloatLoops amd_loops() {
    return {5, 0.2, scalar_work_pass<AmdKernels>, scalar_empty_pass};
}
