# Floating-point test: the loops, the SSE kernels and the processor checks, with the sanitizers.
kalvit_test(float_tests float_loop_test.cpp float_sse_kernel_test.cpp)
target_link_libraries(float_tests PRIVATE kalvit_engine)

# Speeds of float_test on this machine (a benchmark that prints figures, not a test).
add_executable(float_bench float_bench.cpp)
target_link_libraries(float_bench PRIVATE kalvit_engine kalvit_options)

# The 3DNow! kernels run on an emulated AMD Phenom (qemu-user, TCG). AddressSanitizer cannot run
# there, so this executable compiles its own copy of the code, without the sanitizers.
find_program(KALVIT_QEMU_X86_64 qemu-x86_64)
if(KALVIT_QEMU_X86_64)
    add_executable(float_3dnow_tests
        float_3dnow_test.cpp
        ${PROJECT_SOURCE_DIR}/engine/float_test.cpp
        ${PROJECT_SOURCE_DIR}/engine/float_sse.cpp
        ${PROJECT_SOURCE_DIR}/engine/float_3dnow.cpp
        ${PROJECT_SOURCE_DIR}/engine/float_cpu.cpp
        ${PROJECT_SOURCE_DIR}/engine/clock.cpp
        ${PROJECT_SOURCE_DIR}/shell/log.cpp
        ${PROJECT_SOURCE_DIR}/shell/gbk.cpp
    )
    if(KALVIT_SANITIZE)
        get_target_property(float_3dnow_options kalvit_options INTERFACE_COMPILE_OPTIONS)
        list(FILTER float_3dnow_options EXCLUDE REGEX "sanitize|omit-frame-pointer")
        target_compile_options(float_3dnow_tests PRIVATE ${float_3dnow_options})
        target_include_directories(float_3dnow_tests PRIVATE ${PROJECT_SOURCE_DIR})
    else()
        target_link_libraries(float_3dnow_tests PRIVATE kalvit_options)
    endif()
    target_link_libraries(float_3dnow_tests PRIVATE GTest::gtest_main)
    add_test(NAME float_3dnow_tests
             COMMAND ${KALVIT_QEMU_X86_64} -cpu phenom $<TARGET_FILE:float_3dnow_tests>)
endif()
