#pragma once
#include "engine/measure.h"
// Test 1: single-precision power, logarithm, sine and cosine, in M calls per second.

enum class FloatPath { plain, sse, amd_3dnow };

// The kernels a run measures: 3DNow! when chosen, otherwise SSE when chosen, otherwise the
// run-time library.
FloatPath float_path(int amd_3dnow, int intel_sse);

// Runs the work loop and the empty loop with amount m and returns the speed. The test does not
// check the processor: the caller offers only the paths that cpu_has_3dnow/cpu_has_sse allow.
float float_test(int m, FloatPath path, const TestHooks& hooks);

bool cpu_has_3dnow();
bool cpu_has_sse();
