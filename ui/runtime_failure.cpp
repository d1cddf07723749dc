#include "ui/runtime_failure.h"

#include <windows.h>

#include <cstdio>

namespace ui {

namespace {
constexpr UINT kRuntimeFailureExit = 3;

void to_standard_error(const char* what) {
    std::fprintf(stderr, "kalvit: %s\n", what);
    std::fflush(stderr);
}

RuntimeFailureReporter reporter = to_standard_error;
LONG reporting = 0;
} // namespace

RuntimeFailureReporter set_runtime_failure_reporter(RuntimeFailureReporter next) {
    RuntimeFailureReporter previous = reporter;
    reporter = next != nullptr ? next : to_standard_error;
    return previous;
}

void runtime_failure(const char* what) {
    if (InterlockedExchange(&reporting, 1) == 0)
        reporter(what);
    // Nothing that the failure may have left half-done is run again: no static destructors.
    ExitProcess(kRuntimeFailureExit);
}

} // namespace ui
