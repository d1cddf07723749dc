# Cross compiling kalvit for Windows with MinGW-w64; the tests run through Wine. The including
# toolchain file names the processor (x86_64 or i686); the default is 64-bit.
if(NOT DEFINED kalvit_mingw_arch)
    set(kalvit_mingw_arch x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(triple ${kalvit_mingw_arch}-w64-mingw32)
if(kalvit_mingw_arch STREQUAL "i686")
    set(CMAKE_SYSTEM_PROCESSOR x86)
    set(kalvit_wine_arch win32)
else()
    set(CMAKE_SYSTEM_PROCESSOR x86_64)
    set(kalvit_wine_arch win64)
endif()
# The win32 thread model: its runtime uses Windows threads directly. The posix model links the
# winpthreads layer, which imports GetTickCount64 and so cannot start on Windows XP.
set(CMAKE_C_COMPILER ${triple}-gcc-win32)
set(CMAKE_CXX_COMPILER ${triple}-g++-win32)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-emu.sh ${kalvit_wine_arch})
