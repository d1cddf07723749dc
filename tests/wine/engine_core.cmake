# Benchmark model, integer test and memory test, built with MinGW and run under Wine: the portable
# cases again, and the memory test over real fixed global blocks.
set(kalvit_native_tests ${CMAKE_CURRENT_LIST_DIR}/../native)
kalvit_test(engine_core_wine_tests
    ${kalvit_native_tests}/engine_model_test.cpp
    ${kalvit_native_tests}/engine_integer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_memory_wine_test.cpp
)
target_link_libraries(engine_core_wine_tests PRIVATE kalvit_engine)

# The word copy of the memory test in the MinGW object code (see the native fragment).
find_program(KALVIT_MINGW_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
add_library(kalvit_vector_copy_sample OBJECT ${kalvit_native_tests}/vector_copy_sample.cpp)
target_compile_options(kalvit_vector_copy_sample PRIVATE -O2)
add_dependencies(engine_core_wine_tests kalvit_vector_copy_sample)
add_test(NAME engine_core_copy_disasm
    COMMAND ${Python3_EXECUTABLE} ${kalvit_native_tests}/check_copy_disasm.py
            ${KALVIT_MINGW_OBJDUMP} $<TARGET_OBJECTS:kalvit_memory_kernels>)
add_test(NAME engine_core_copy_disasm_rejects
    COMMAND ${Python3_EXECUTABLE} ${kalvit_native_tests}/check_copy_disasm.py
            ${KALVIT_MINGW_OBJDUMP} $<TARGET_OBJECTS:kalvit_vector_copy_sample>)
set_tests_properties(engine_core_copy_disasm_rejects PROPERTIES
    PASS_REGULAR_EXPRESSION "copy_words_both_ends: .*xmm.*copy_blocks_4k: .*rep movs.*FAILED")
