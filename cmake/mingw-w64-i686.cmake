# Cross compiling kalvit for 32-bit Windows (XP-class machines) with MinGW-w64's i686 compiler.
# The program keeps to the i586 instruction set (Pentium, K6-2): no CMOV or FCOMI; only the SSE
# and 3DNow! kernels go further, behind their processor checks. MinGW-w64's runtime is built for
# i686, so the program links none of its P6 parts (ui/msvcrt_stdio.h, ui/no_exceptions.cpp,
# ui/process_start.cpp).
set(kalvit_mingw_arch i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_C_FLAGS_INIT "-march=i586 -mtune=generic")
set(CMAKE_CXX_FLAGS_INIT "-march=i586 -mtune=generic")
