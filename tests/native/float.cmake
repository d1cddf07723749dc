# Floating-point test: the loops, the x87 and SSE kernels and the processor checks, with the
# sanitizers.
kalvit_test(float_tests float_loop_test.cpp float_sse_kernel_test.cpp x87_math_test.cpp)
target_link_libraries(float_tests PRIVATE kalvit_engine)
# The SSE logarithm is compared bit for bit with its steps written out: no contraction.
target_compile_options(float_tests PRIVATE -ffp-contract=off ${kalvit_sse_flag})


# The 3DNow! kernels run on an emulated AMD Phenom (qemu-user, TCG). AddressSanitizer cannot run
# there, so this executable takes the timed loops' objects and its own unsanitized copy of the
# rest that it needs.
find_program(KALVIT_QEMU_X86_64 qemu-x86_64)
if(KALVIT_QEMU_X86_64)
    add_executable(float_3dnow_tests
        float_3dnow_test.cpp
        $<TARGET_OBJECTS:kalvit_timed_loops>
        ${PROJECT_SOURCE_DIR}/engine/measure_float.cpp
        ${PROJECT_SOURCE_DIR}/engine/disturbance.cpp
        ${PROJECT_SOURCE_DIR}/engine/float_cpu.cpp
        ${PROJECT_SOURCE_DIR}/sysinfo/cpu_id.cpp
        ${PROJECT_SOURCE_DIR}/engine/clock.cpp
        ${PROJECT_SOURCE_DIR}/shell/log.cpp
        ${PROJECT_SOURCE_DIR}/ui/gbk.cpp
    )
    target_link_libraries(float_3dnow_tests PRIVATE kalvit_base_options GTest::gtest_main)
    add_test(NAME float_3dnow_tests
             COMMAND ${KALVIT_QEMU_X86_64} -cpu phenom $<TARGET_FILE:float_3dnow_tests>)
endif()

# The same kernels as 32-bit code, as the 32-bit Windows build compiles them (g++ -m32 for the
# i586 set, the SSE file with SSE), on an emulated 32-bit AMD Phenom: the wrappers' stack
# arguments, their float returned on the x87 stack after FEMMS, the absolute addressing of the
# constants. GoogleTest is built again for 32 bits from its sources.
find_program(KALVIT_QEMU_I386 qemu-i386)
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -m32)
set(CMAKE_REQUIRED_LINK_OPTIONS -m32)
check_cxx_source_compiles("#include <string>\nint main() { return std::string(\"x\").size(); }"
                          KALVIT_HAS_M32)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(KALVIT_QEMU_I386 AND KALVIT_HAS_M32)
    set(gtest_dir ${KALVIT_GTEST_SOURCE}/googletest)
    add_library(kalvit_gtest32 STATIC EXCLUDE_FROM_ALL ${gtest_dir}/src/gtest-all.cc
                ${gtest_dir}/src/gtest_main.cc)
    target_include_directories(kalvit_gtest32 SYSTEM PUBLIC ${gtest_dir}/include
                               PRIVATE ${gtest_dir})
    # Position-dependent code, as a Windows executable is: the wrappers call their kernels by
    # address.
    target_compile_options(kalvit_gtest32 PUBLIC -m32 -march=i586 -fno-pie)
    target_link_options(kalvit_gtest32 PUBLIC -m32 -no-pie -pthread)

    set(engine ${PROJECT_SOURCE_DIR}/engine)
    add_executable(float_3dnow_tests_32
        float_3dnow_test.cpp
        ${engine}/float_3dnow.cpp
        ${engine}/float_plain.cpp
        ${engine}/x87_math.cpp
        ${engine}/float_sse.cpp
        ${engine}/measure_float.cpp
        ${engine}/disturbance.cpp
        ${engine}/float_cpu.cpp
        ${PROJECT_SOURCE_DIR}/sysinfo/cpu_id.cpp
        ${engine}/clock.cpp
        ${PROJECT_SOURCE_DIR}/shell/log.cpp
        ${PROJECT_SOURCE_DIR}/ui/gbk.cpp
    )
    target_link_libraries(float_3dnow_tests_32 PRIVATE kalvit_base_options kalvit_gtest32)
    target_compile_options(float_3dnow_tests_32 PRIVATE ${kalvit_release_flags})
    set_source_files_properties(${engine}/float_sse.cpp TARGET_DIRECTORY float_3dnow_tests_32
                                PROPERTIES COMPILE_OPTIONS "-msse;-mfpmath=sse")
    add_test(NAME float_3dnow_tests_32
             COMMAND ${KALVIT_QEMU_I386} -cpu phenom $<TARGET_FILE:float_3dnow_tests_32>)
endif()
