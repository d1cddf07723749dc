#pragma once
#include <cstdio>
#include <cstdlib>
// A property of the code under test that does not hold: the abort makes libFuzzer report the
// input and keep it.
[[noreturn]] inline void fuzz_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_REQUIRE(condition)                                                                    \
    ((condition) ? static_cast<void>(0) : fuzz_failed(#condition, __FILE__, __LINE__))

// Messages and questions of the code under test go nowhere (no window, no terminal noise).
inline void fuzz_ignore_message(const char*) {}
inline bool fuzz_answer_no(const char*) {
    return false;
}
