// Executables that the oldest Windows of a build cannot run, each in one way; the import and
// instruction checks must reject every one. KALVIT_SAMPLE picks the way: 1 imports a Vista
// function, 2 a function of a library that XP does not have (dwmapi.dll), 3 is an ordinary
// program whose header the build marks for Vista; 4 has SSE and 5 has CMOV outside the kernels
// (32-bit builds only); 6 imports GlobalMemoryStatusEx, which neither Windows 95 nor NT 4.0
// exports (the 32-bit build must refuse it, the 64-bit one, for XP x64, takes it). 7 is the
// same program as 6 with GlobalMemoryStatus, which every system has: the checks must take it,
// so that 6 is refused for its one import and nothing else. 8 (32-bit) keeps its own code to
// the i586 set but formats with MinGW's printf, which the runtime builds for the P6. The
// instruction samples (4, 5, 8) start as kalvit.exe does, so that each has its one fault.
#if KALVIT_SAMPLE == 1
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#elif KALVIT_SAMPLE == 6
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0500
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
#elif KALVIT_SAMPLE == 6
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    return static_cast<int>(status.ullTotalPhys & 1u) + argc;
#elif KALVIT_SAMPLE == 7
    MEMORYSTATUS status = {};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return static_cast<int>(status.dwTotalPhys & 1u) + argc;
#elif KALVIT_SAMPLE == 4
    std::printf("%f\n", scaled(static_cast<float>(argc), 2.0f));
    return 0;
#elif KALVIT_SAMPLE == 5
    return larger(argc, static_cast<int>(std::strlen(argv[0])));
#elif KALVIT_SAMPLE == 8
    __mingw_printf("%d\n", argc);
    return 0;
#else
    std::printf("%d\n", argc);
    return 0;
#endif
}
