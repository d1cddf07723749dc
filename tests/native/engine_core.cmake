# Benchmark model, integer test and memory test.
kalvit_test(engine_core_tests
    ${CMAKE_CURRENT_LIST_DIR}/engine_model_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_integer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_memory_test.cpp
)
target_link_libraries(engine_core_tests PRIVATE kalvit_engine)

find_program(KALVIT_OBJDUMP objdump REQUIRED)
kalvit_timed_code_tests(${KALVIT_OBJDUMP})
