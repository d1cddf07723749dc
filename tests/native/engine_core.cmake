# Benchmark model, integer test and memory test.
kalvit_test(engine_core_tests
    ${CMAKE_CURRENT_LIST_DIR}/engine_model_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_integer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_memory_test.cpp
)
target_link_libraries(engine_core_tests PRIVATE kalvit_engine)

# The word copy of the memory test in the object code: single 32-bit moves, no vector moves,
# string moves or block-copy calls; and the check itself must reject loops that have them.
find_program(KALVIT_OBJDUMP objdump REQUIRED)
add_library(kalvit_vector_copy_sample OBJECT ${CMAKE_CURRENT_LIST_DIR}/vector_copy_sample.cpp)
target_compile_options(kalvit_vector_copy_sample PRIVATE -O2)
add_dependencies(engine_core_tests kalvit_vector_copy_sample)
add_test(NAME engine_core_copy_disasm
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_copy_disasm.py ${KALVIT_OBJDUMP}
            $<TARGET_OBJECTS:kalvit_memory_kernels>)
add_test(NAME engine_core_copy_disasm_rejects
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_copy_disasm.py ${KALVIT_OBJDUMP}
            $<TARGET_OBJECTS:kalvit_vector_copy_sample>)
set_tests_properties(engine_core_copy_disasm_rejects PROPERTIES
    PASS_REGULAR_EXPRESSION "copy_words_both_ends: .*xmm.*copy_blocks_4k: .*rep movs.*FAILED")
