# Floating-point test: the loops, the SSE kernels and the processor checks, with the sanitizers.
kalvit_test(float_tests float_loop_test.cpp float_sse_kernel_test.cpp)
target_link_libraries(float_tests PRIVATE kalvit_engine)
# The SSE kernels are compared bit for bit with their formulas written out: no contraction.
target_compile_options(float_tests PRIVATE -ffp-contract=off)

# Speeds of float_test on this machine (a benchmark that prints figures, not a test).
add_executable(float_bench float_bench.cpp)
target_link_libraries(float_bench PRIVATE kalvit_engine kalvit_options)

# The 3DNow! kernels run on an emulated AMD Phenom (qemu-user, TCG). AddressSanitizer cannot run
# there, so this executable takes the timed loops' objects and its own unsanitized copy of the
# rest that it needs.
find_program(KALVIT_QEMU_X86_64 qemu-x86_64)
if(KALVIT_QEMU_X86_64)
    add_executable(float_3dnow_tests
        float_3dnow_test.cpp
        $<TARGET_OBJECTS:kalvit_timed_loops>
        ${PROJECT_SOURCE_DIR}/engine/float_test.cpp
        ${PROJECT_SOURCE_DIR}/engine/float_cpu.cpp
        ${PROJECT_SOURCE_DIR}/engine/clock.cpp
        ${PROJECT_SOURCE_DIR}/shell/log.cpp
        ${PROJECT_SOURCE_DIR}/ui/gbk.cpp
    )
    target_link_libraries(float_3dnow_tests PRIVATE kalvit_base_options GTest::gtest_main)
    add_test(NAME float_3dnow_tests
             COMMAND ${KALVIT_QEMU_X86_64} -cpu phenom $<TARGET_FILE:float_3dnow_tests>)
endif()
