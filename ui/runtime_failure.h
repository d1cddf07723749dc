#pragma once
// The program is built without exceptions: where the C++ library would throw (memory exhausted,
// a length beyond its limits) it ends here instead. The failure is told to the reporter, which
// the program sets to log it and show it, and the process ends with exit code 3. A failure met
// while reporting one ends the process at once.

namespace ui {

using RuntimeFailureReporter = void (*)(const char* what);
// Returns the previous reporter. By default the failure goes to the standard error stream.
RuntimeFailureReporter set_runtime_failure_reporter(RuntimeFailureReporter reporter);

[[noreturn]] void runtime_failure(const char* what);

} // namespace ui
