// Executables that an XP-class machine cannot run, each in one way; the import and instruction
// checks must reject every one. KALVIT_SAMPLE picks the way: 1 imports a Vista function, 2 a
// function of a library that XP does not have (dwmapi.dll), 3 is an ordinary program whose header the build marks for Vista;
// 4 has SSE and 5 has CMOV outside the kernels (32-bit builds only).
#if KALVIT_SAMPLE == 1
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>
#if KALVIT_SAMPLE == 2
#include <dwmapi.h>
#endif

#include <cstdio>
#include <cstring>

#if KALVIT_SAMPLE == 4
__attribute__((noinline, target("sse,fpmath=sse"))) float scaled(float x, float y) {
    return x * y + 1.0f;
}
#elif KALVIT_SAMPLE == 5
__attribute__((noinline, target("arch=i686"))) int larger(int a, int b) {
    return a > b ? a : b;
}
#endif

int main(int argc, char** argv) {
#if KALVIT_SAMPLE == 1
    return static_cast<int>(GetTickCount64() & 1u) + argc;
#elif KALVIT_SAMPLE == 2
    BOOL composed = FALSE;
    return static_cast<int>(DwmIsCompositionEnabled(&composed)) + composed + argc;
#elif KALVIT_SAMPLE == 4
    std::printf("%f\n", scaled(static_cast<float>(argc), 2.0f));
    return 0;
#elif KALVIT_SAMPLE == 5
    return larger(argc, static_cast<int>(std::strlen(argv[0])));
#else
    std::printf("%d\n", argc);
    return 0;
#endif
}
