#include "engine/float_loops.h"
#include "engine/x87_math.h"

namespace {
// The x87 functions in double precision (engine/x87_math.h), rounded back to float32.
struct PlainKernels {
    static float power(float x, float y) {
        return static_cast<float>(x87_pow(static_cast<double>(x), static_cast<double>(y)));
    }
    static float log(float x) { return static_cast<float>(x87_log(static_cast<double>(x))); }
    static float sin(float x) { return static_cast<float>(x87_sin(static_cast<double>(x))); }
    static float cos(float x) { return static_cast<float>(x87_cos(static_cast<double>(x))); }
    static void leave() {}
};

// The plain path's progress step is the single-precision constant 0.33333.
constexpr float kPlainFraction = 0.33333f;
} // namespace

KALVIT_XMM_CC void scalar_empty_pass(FloatState& s) {
    for (int i = 0; i < kFloatInner; ++i) {
        s.x = s.x + kFloatStepX;
        s.y = s.y + kFloatStepY;
    }
}

FloatLoops plain_loops() {
    return {3, static_cast<double>(kPlainFraction), scalar_work_pass<PlainKernels>,
            scalar_empty_pass};
}
