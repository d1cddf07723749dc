#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
// Each timed loop as a careless change would leave it, for the timed-code check to reject.

// The integer kernel's state without volatile: kept in registers, the passes folded.
struct IntegerState {
    int32_t alpha, beta, gamma, delta, prod1, prod2, quot1, quot2;
};
IntegerState integer_state;

void integer_work_iterations(int count) {
    IntegerState& k = integer_state;
    for (int i = 0; i < count; ++i) {
        k.prod1 = k.alpha * k.beta;
        k.prod2 = k.beta * k.gamma;
        k.quot1 = k.beta / k.alpha;
        k.quot2 = k.prod1 / k.gamma;
        ++k.alpha;
        ++k.beta;
        ++k.gamma;
        ++k.delta;
    }
}

void integer_empty_iterations(int count) {
    IntegerState& k = integer_state;
    for (int i = 0; i < count; ++i) {
        ++k.prod2;
        ++k.delta;
        ++k.alpha;
        ++k.gamma;
    }
}

// The memory loops vectorised, the block copy inlined, the empty loops' scratch not volatile.
int32_t scratch_low, scratch_high, scratch_offset;

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

extern "C" void empty_word_steps() {
    for (int k = 0; k < 262144; ++k) {
        scratch_low = 262144 - k;
        scratch_high = 262144 - k;
    }
}

extern "C" void empty_block_steps() {
    for (int k = 0; k < 512; ++k)
        scratch_offset = (k % 256) * 4096;
}

// The floating-point state without volatile: the loads and stores leave the loops.
struct FloatState {
    float x, y, result[6];
};

namespace {
// The plain loop sees the state as plain memory; it needs no multimedia state to end.
struct PlainKernels {
    static float power(float x, float y) { return std::pow(x, y); }
    static float log(float x) { return std::log(x); }
    static float sin(float x) { return std::sin(x); }
    static float cos(float x) { return std::cos(x); }
    static FloatState& view(FloatState& s) { return s; }
    static void leave() {}
};
} // namespace

template <class K> void scalar_work_pass(FloatState& s) {
    auto& v = K::view(s);
    for (int i = 0; i < 100000; ++i) {
        v.result[0] = K::power(v.x, v.y);
        v.result[1] = K::power(v.y, v.x);
        v.result[2] = K::log(v.x);
        v.result[3] = K::log(v.y);
        v.result[4] = K::sin(v.x);
        v.result[5] = K::cos(v.y);
        v.x = v.x + 0.00001f;
        v.y = v.y + 0.000001f;
    }
    K::leave();
}

void scalar_empty_pass(FloatState& s) {
    for (int i = 0; i < 100000; ++i) {
        s.x = s.x + 0.00001f;
        s.y = s.y + 0.000001f;
    }
}

// The plain path's x87 functions: the library's pow, and the sine with the cosine's instruction.
double x87_pow(double x, double y) {
    return std::pow(x, y);
}
double x87_sin(double x) {
    double r;
    asm("fldl %1\n\tfcos\n\tfstpl %0" : "=m"(r) : "m"(x) : "st");
    return r;
}

// The SSE kernels with true divisions in place of the reciprocal estimate.
__attribute__((noipa)) __m128 sse_log(__m128 x) {
    const __m128 one = _mm_set_ss(1.0f);
    return _mm_div_ss(_mm_sub_ss(x, one), _mm_add_ss(x, one));
}
__attribute__((noipa)) __m128 sse_power(__m128 x, __m128 y) {
    return _mm_div_ss(_mm_mul_ss(x, y), _mm_add_ss(x, y));
}
__attribute__((noipa)) __m128 sse_sin(__m128 x) {
    return x;
}
__attribute__((noipa)) __m128 sse_cos(__m128 x) {
    return x;
}

// The SSE loop storing every result into a sink, and a pass that forgets EMMS.
struct SseKernels {};

template <class K>
__attribute__((noipa)) void sse_float_loop(int count, volatile float& x, volatile float& y) {
    alignas(16) float vx[4] = {x, 0.0f, 0.0f, 0.0f};
    alignas(16) float vy[4] = {y, 0.0f, 0.0f, 0.0f};
    volatile float sink;
    for (int i = 0; i < count; ++i) {
        const __m128 a = _mm_load_ps(vx);
        const __m128 b = _mm_load_ps(vy);
        sink = _mm_cvtss_f32(sse_power(a, b));
        sink = _mm_cvtss_f32(sse_power(b, a));
        sink = _mm_cvtss_f32(sse_log(a));
        sink = _mm_cvtss_f32(sse_log(b));
        sink = _mm_cvtss_f32(sse_sin(a));
        sink = _mm_cvtss_f32(sse_cos(b));
        vx[0] += 0.00001f;
        vy[0] += 0.000001f;
    }
    x = vx[0];
    y = vy[0];
}

template <class K> void sse_work_pass(FloatState& s) {
    volatile float x = s.x, y = s.y;
    sse_float_loop<K>(100000, x, y);
}

// 3DNow! kernels whose estimates are not (fully) refined, and the kernels that reach them.
#define BROKEN_KERNEL(name) extern "C" __attribute__((naked, used)) void name()
BROKEN_KERNEL(k3dn_ln_split) {
    asm("pfrcp %mm2, %mm3\n\t"
        "pfmul %mm3, %mm0\n\t"
        "ret");
}
BROKEN_KERNEL(k3dn_pow_positive) {
    asm("pfrcp %mm2, %mm4\n\t"
        "pfrcpit1 %mm4, %mm2\n\t"
        "pfmul %mm2, %mm3\n\t"
        "ret");
}
BROKEN_KERNEL(k3dn_log) {
    asm("call k3dn_ln_split\n\t"
        "ret");
}
BROKEN_KERNEL(k3dn_pow) {
    asm("jmp k3dn_pow_positive");
}
BROKEN_KERNEL(k3dn_sin) {
    asm("ret");
}
BROKEN_KERNEL(k3dn_cos) {
    asm("ret");
}

// The 3DNow! wrapper that loads y for every kernel, and a loop that leaves with FEMMS.
template <void (*Kernel)()> float call_kernel(float x, float y) {
    float r;
    asm volatile("femms\n\t"
                 "movd %[x], %%mm0\n\t"
                 "movd %[y], %%mm1\n\t"
                 "call %P[kernel]\n\t"
                 "movd %%mm0, %[r]\n\t"
                 "femms"
                 : [r] "=m"(r)
                 : [x] "m"(x), [y] "m"(y), [kernel] "i"(Kernel)
                 : "mm0", "mm1", "mm2", "mm3", "mm4", "mm5", "mm6", "mm7", "rax", "rdx", "cc");
    return r;
}

struct AmdKernels {
    static float power(float x, float y) { return call_kernel<k3dn_pow>(x, y); }
    static float log(float x) { return call_kernel<k3dn_log>(x, 0.0f); }
    static float sin(float x) { return call_kernel<k3dn_sin>(x, 0.0f); }
    static float cos(float x) { return call_kernel<k3dn_cos>(x, 0.0f); }
    // Every access real, as in the program; only the leave is wrong.
    static volatile FloatState& view(FloatState& s) { return s; }
    static void leave() { asm volatile("femms"); }
};

// Out-of-line copies of the templates, as the program's loop tables make them.
extern void (*const broken_passes[])(FloatState&);
void (*const broken_passes[])(FloatState&) = {
    scalar_work_pass<PlainKernels>, scalar_work_pass<AmdKernels>, sse_work_pass<SseKernels>};
