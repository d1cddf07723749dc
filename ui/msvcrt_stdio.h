// Read before anything else in every Windows translation unit (the build includes it first).
// The C library's formatting and number reading are msvcrt.dll's own, not MinGW's: the record
// files were always written by the Windows runtime, which rounds a tie in " %5.2f" its own
// way, and MinGW's printf, scanf and strtod are built for the P6 instruction set, which the
// K6-2 and the Pentium MMX lack. The C++ library's configuration turns MinGW's functions on
// for C++ unconditionally, so the switch is made after it and before <stdio.h>.
// 64-bit integers are written with "%I64u" (PRIu64 here), as the Windows runtime spells them;
// "%zu", "%ll" and "%hh" do not exist there.
#ifdef __cplusplus
#include <bits/c++config.h>
#endif
#undef __USE_MINGW_ANSI_STDIO
#define __USE_MINGW_ANSI_STDIO 0
