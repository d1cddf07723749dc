# Benchmark model, integer test and memory test, built with MinGW and run under Wine: the portable
# cases again, and the memory test over real fixed global blocks.
set(kalvit_native_tests ${CMAKE_CURRENT_LIST_DIR}/../native)
kalvit_test(engine_core_wine_tests
    ${kalvit_native_tests}/engine_model_test.cpp
    ${kalvit_native_tests}/engine_integer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_memory_wine_test.cpp
)
target_link_libraries(engine_core_wine_tests PRIVATE kalvit_engine)

# The toolchain's own objdump (x86-64 or i686).
set(KALVIT_MINGW_OBJDUMP ${CMAKE_OBJDUMP})
kalvit_timed_code_tests(${KALVIT_MINGW_OBJDUMP})
set_tests_properties(engine_core_wine_tests PROPERTIES LABELS quick)
