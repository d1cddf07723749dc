#include <cstdio>
#include <cstdlib>

#include "engine/measure_float.h"
#include "engine/fpu_control.h"

// Prints float_test's speed on this machine for each path the processor has:
//   float_bench [m] [runs]   (defaults: m = 5, 3 runs)
int main(int argc, char** argv) {
    const int m = argc > 1 ? std::atoi(argv[1]) : 5;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    load_run_control_word();
    struct Path {
        const char* name;
        FloatPath path;
        bool present;
    };
    const Path paths[] = {{"plain", FloatPath::plain, true},
                          {"SSE", FloatPath::sse, cpu_has_sse()},
                          {"3DNow!", FloatPath::amd_3dnow, cpu_has_3dnow()}};
    for (const Path& p : paths) {
        if (!p.present) {
            std::printf("%-7s not on this processor\n", p.name);
            continue;
        }
        std::printf("%-7s m=%d:", p.name, m);
        for (int i = 0; i < runs; ++i) {
            std::printf(" %7.2f", static_cast<double>(float_test(m, p.path, {})));
            std::fflush(stdout);
        }
        std::printf(" M/s\n");
    }
    return 0;
}
