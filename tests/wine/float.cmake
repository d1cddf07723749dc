# The floating-point test's loops and SSE kernels again under Windows: the Win64 calling
# convention and the Windows C library (3DNow! cannot run on this processor).
kalvit_test(float_wine_tests
    ${PROJECT_SOURCE_DIR}/tests/native/float_loop_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/float_sse_kernel_test.cpp
)
target_link_libraries(float_wine_tests PRIVATE kalvit_engine)
# The SSE logarithm is compared bit for bit with its steps written out: no contraction.
target_compile_options(float_wine_tests PRIVATE -ffp-contract=off ${kalvit_sse_flag})
set_tests_properties(float_wine_tests PROPERTIES LABELS quick)
