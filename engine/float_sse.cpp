#include "engine/float_sse.h"

#include <cfloat>
#include <cstdint>
#include <cstring>

namespace {
constexpr float kTwoOverPi = 0.63661975f;
constexpr float kHalfPi = 1.5707964f;
// sin(f × π/2) on 0 ≤ f ≤ 1.
constexpr float kSin1 = 1.5707964f;
constexpr float kSin3 = -0.64596409f;
constexpr float kSin5 = 0.079692625f;
constexpr float kSin7 = -0.0046817539f;
// ln m = z + z³ P(z²)/Q(z²) with z = 2(m − 1)/(m + 1).
constexpr float kLnP2 = -0.78958028f;
constexpr float kLnP1 = 16.386665f;
constexpr float kLnP0 = -64.141f;
constexpr float kLnQ2 = -35.672279f;
constexpr float kLnQ1 = 312.09378f;
constexpr float kLnQ0 = -769.69196f;
constexpr float kLn2 = 0.69314718f;
constexpr float kLog2e = 1.44269504f;
constexpr float kSqrt2 = 1.41421356f;
// 2^t is taken for t in [-127, 128): 2^-127 builds a zero scale, so smaller powers flush to 0;
// the top end gives at most 1.9999999 × 2^127, the largest float.
constexpr float kMinExponent = -127.0f;
constexpr float kMaxExponent = 127.99999f;
constexpr float kBelowTwo = 1.9999999f;
// 2^24: every float at least this large is an even integer.
constexpr float kEvenIntegers = 16777216.0f;

constexpr uint32_t kSignBit = 0x80000000u;
constexpr uint32_t kAbsMask = 0x7FFFFFFFu;
constexpr uint32_t kMantissa = 0x007FFFFFu;
constexpr uint32_t kExponentOfOne = 0x3F800000u;

__m128 ss(float v) {
    return _mm_set_ss(v);
}
// Bit patterns move between integer and vector registers through memory: MOVD between the two is
// SSE2, and these kernels keep to SSE (Pentium III, Athlon XP).
__m128 from_bits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return _mm_load_ss(&f);
}
uint32_t bits_of(__m128 v) {
    float f;
    _mm_store_ss(&f, v);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}
float first(__m128 v) {
    return _mm_cvtss_f32(v);
}
__m128 abs_of(__m128 v) {
    return _mm_and_ps(v, from_bits(kAbsMask));
}
__m128 quiet_nan() {
    return from_bits(0x7FC00000u);
}

// sin(t × π/2) for t ≥ 0 with the sign bit flipped by `sign`.
__m128 sine_of_quarters(__m128 t, uint32_t sign) {
    const int k = _mm_cvttss_si32(t);
    __m128 f = _mm_min_ss(_mm_sub_ss(t, _mm_cvtsi32_ss(t, k)), ss(1.0f));
    if (k & 1)
        f = _mm_sub_ss(ss(1.0f), f);
    const __m128 f2 = _mm_mul_ss(f, f);
    __m128 p = _mm_add_ss(_mm_mul_ss(f2, ss(kSin7)), ss(kSin5));
    p = _mm_add_ss(_mm_mul_ss(p, f2), ss(kSin3));
    p = _mm_add_ss(_mm_mul_ss(p, f2), ss(kSin1));
    const uint32_t quadrant_sign = (static_cast<uint32_t>(k) & 2u) << 30;
    return _mm_xor_ps(_mm_mul_ss(f, p), from_bits(sign ^ quadrant_sign));
}

// ln m for 1 ≤ m < 2.
__m128 ln_mantissa(__m128 m) {
    const __m128 one = ss(1.0f);
    const __m128 num = _mm_sub_ss(m, one);
    const __m128 z = _mm_mul_ss(_mm_add_ss(num, num), _mm_rcp_ss(_mm_add_ss(m, one)));
    const __m128 w = _mm_mul_ss(z, z);
    __m128 p = _mm_add_ss(_mm_mul_ss(w, ss(kLnP2)), ss(kLnP1));
    p = _mm_add_ss(_mm_mul_ss(p, w), ss(kLnP0));
    __m128 q = _mm_add_ss(_mm_mul_ss(w, ss(kLnQ2)), ss(kLnQ1));
    q = _mm_add_ss(_mm_mul_ss(q, w), ss(kLnQ0));
    const __m128 tail = _mm_mul_ss(_mm_mul_ss(_mm_mul_ss(z, w), p), _mm_rcp_ss(q));
    return _mm_add_ss(z, tail);
}

struct Split {
    __m128 mantissa; // 1 ≤ m < 2
    __m128 exponent; // unbiased, as a float
};

// x is first raised to the smallest normal float.
Split split(__m128 x) {
    const uint32_t bits = bits_of(_mm_max_ss(x, ss(FLT_MIN)));
    const int e = static_cast<int>((bits >> 23) & 0xFFu) - 127;
    const __m128 m = from_bits((bits & kMantissa) | kExponentOfOne);
    return {m, _mm_cvtsi32_ss(m, e)};
}

// 2^t for t in [kMinExponent, kMaxExponent].
__m128 exp2_of(__m128 t) {
    int i = _mm_cvttss_si32(t);
    if (first(_mm_cvtsi32_ss(t, i)) > first(t))
        --i;
    const __m128 f = _mm_sub_ss(t, _mm_cvtsi32_ss(t, i));
    // 2^(f − 1/2) = e^u by the (3,3) Padé form 1 + 2uA/(B − uA), A = 60 + u², B = 120 + 12u².
    const __m128 u = _mm_mul_ss(_mm_sub_ss(f, ss(0.5f)), ss(kLn2));
    const __m128 u2 = _mm_mul_ss(u, u);
    const __m128 ua = _mm_mul_ss(u, _mm_add_ss(u2, ss(60.0f)));
    const __m128 b = _mm_add_ss(_mm_mul_ss(u2, ss(12.0f)), ss(120.0f));
    const __m128 ratio = _mm_mul_ss(_mm_add_ss(ua, ua), _mm_rcp_ss(_mm_sub_ss(b, ua)));
    __m128 p = _mm_mul_ss(_mm_add_ss(ratio, ss(1.0f)), ss(kSqrt2));
    p = _mm_min_ss(p, ss(kBelowTwo));
    const __m128 scale = from_bits(static_cast<uint32_t>(i + 127) << 23);
    return _mm_mul_ss(p, scale);
}

__m128 power_positive(__m128 x, __m128 y) {
    const Split s = split(x);
    const __m128 log2x = _mm_add_ss(_mm_mul_ss(ln_mantissa(s.mantissa), ss(kLog2e)), s.exponent);
    __m128 t = _mm_mul_ss(y, log2x);
    t = _mm_min_ss(_mm_max_ss(t, ss(kMinExponent)), ss(kMaxExponent));
    return exp2_of(t);
}

__m128 power_nonpositive(__m128 x, __m128 y) {
    const float xs = first(x);
    const float ys = first(y);
    if (xs == 0.0f) {
        if (ys > 0.0f)
            return _mm_setzero_ps();
        if (ys == 0.0f)
            return ss(1.0f);
        if (ys < 0.0f)
            return ss(FLT_MAX);
        return quiet_nan();
    }
    if (!(xs < 0.0f))
        return quiet_nan();
    if (first(abs_of(y)) >= kEvenIntegers)
        return power_positive(abs_of(x), y);
    const int k = _mm_cvttss_si32(y);
    if (static_cast<float>(k) != ys)
        return quiet_nan();
    const __m128 r = power_positive(abs_of(x), y);
    return (k & 1) ? _mm_xor_ps(r, from_bits(kSignBit)) : r;
}
} // namespace

KALVIT_XMM_ABI __m128 sse_sin(__m128 x) {
    const __m128 t = _mm_mul_ss(abs_of(x), ss(kTwoOverPi));
    return sine_of_quarters(t, bits_of(x) & kSignBit);
}

KALVIT_XMM_ABI __m128 sse_cos(__m128 x) {
    const __m128 t = _mm_mul_ss(_mm_add_ss(abs_of(x), ss(kHalfPi)), ss(kTwoOverPi));
    return sine_of_quarters(t, 0);
}

KALVIT_XMM_ABI __m128 sse_log(__m128 x) {
    const Split s = split(x);
    return _mm_add_ss(ln_mantissa(s.mantissa), _mm_mul_ss(s.exponent, ss(kLn2)));
}

KALVIT_XMM_ABI __m128 sse_power(__m128 x, __m128 y) {
    if (_mm_comigt_ss(x, _mm_setzero_ps()))
        return power_positive(x, y);
    return power_nonpositive(x, y);
}

template void sse_float_loop<SseKernels>(int, volatile float&, volatile float&);

// Called before the path runs, so it keeps to the instructions of every processor: in 32-bit
// code this file is otherwise built for SSE.
#if defined(__i386__)
__attribute__((target("no-sse,fpmath=387")))
#endif
FloatLoops sse_loops() {
    return {5, 0.2, sse_work_pass<SseKernels>, sse_empty_pass};
}
