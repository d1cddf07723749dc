// Where kalvit.exe and kalvit-kernels.exe begin, in place of MinGW's start-up code, which is
// built for the P6 instruction set (its command-line walk holds a CMOV) and so would stop a
// K6-2 or a Pentium MMX before the first window. It does what the program needs of that code:
// the C runtime told what kind of program this is, the floating-point unit reset, the static
// constructors run, and exit() with the program's result, which runs the atexit functions and
// the static destructors. The executables are linked without the compiler's start files and
// take one of the two entry points below: the build compiles this file once for each
// (KALVIT_CONSOLE_START for kalvit-kernels), so that neither pulls in the other's main function.
#include <windows.h>

#include <cstdlib>

extern "C" {
// msvcrt.dll
void __cdecl __set_app_type(int type);
int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int wildcards, void* startup);
// libmingw32: runs the static constructors once and registers their destructors with atexit.
void __main();
// libmingw32: fninit, the unit's state at start-up.
void __cdecl _fpreset();

#ifdef KALVIT_CONSOLE_START
int main(int argc, char** argv);
#else
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_tail, int show);
#endif

// The static destructors and the atexit functions go to msvcrt.dll's table, which exit() runs.
int __cdecl atexit(void(__cdecl* function)()) {
    return _onexit(reinterpret_cast<_onexit_t>(function)) == nullptr ? -1 : 0;
}
}

namespace {
#ifdef KALVIT_CONSOLE_START
constexpr int kAppType = 1; // _CONSOLE_APP
#else
constexpr int kAppType = 2; // _GUI_APP
#endif

// msvcrt.dll of Windows Vista and later ends the process when a C library function is given an
// invalid argument unless a handler says otherwise; this one lets the function fail with EINVAL
// instead, as the older msvcrt.dll does. Those older ones have no such function.
void __cdecl ignore_invalid_parameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned,
                                      uintptr_t) {}

void start_c_runtime() {
    __set_app_type(kAppType);
    using Setter = void*(__cdecl*)(decltype(&ignore_invalid_parameter));
    if (HMODULE msvcrt = GetModuleHandleA("msvcrt.dll"))
        if (auto set = reinterpret_cast<Setter>(
                reinterpret_cast<void*>(GetProcAddress(msvcrt, "_set_invalid_parameter_handler"))))
            set(ignore_invalid_parameter);
    _fpreset();
    __main();
}

#ifndef KALVIT_CONSOLE_START
// The command line after the program's name (quoted when it has spaces) and the blanks after it.
char* command_tail() {
    char* at = GetCommandLineA();
    bool quoted = false;
    for (; *at != '\0'; ++at) {
        if (*at == '"')
            quoted = !quoted;
        else if (!quoted && (*at == ' ' || *at == '\t'))
            break;
    }
    while (*at == ' ' || *at == '\t')
        ++at;
    return at;
}
#endif
} // namespace

extern "C" {
// The stack on entry is only 4-byte aligned in 32-bit Windows.
#ifndef KALVIT_CONSOLE_START
__attribute__((force_align_arg_pointer, noreturn)) void kalvit_gui_start() {
    start_c_runtime();
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow
                                                             : SW_SHOWDEFAULT;
    std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, command_tail(), show));
}
#else
__attribute__((force_align_arg_pointer, noreturn)) void kalvit_console_start() {
    start_c_runtime();
    int argc = 0;
    char** argv = nullptr;
    char** env = nullptr;
    int startup_info[1] = {0};
    if (__getmainargs(&argc, &argv, &env, 0, startup_info) < 0)
        std::exit(255);
    std::exit(main(argc, argv));
}
#endif
}
