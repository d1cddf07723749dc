# Benchmark model, integer test, memory test, and the window-free rules of a run.
kalvit_test(engine_core_tests
    ${CMAKE_CURRENT_LIST_DIR}/engine_model_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_integer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_memory_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run_rules_test.cpp
)
target_link_libraries(engine_core_tests PRIVATE kalvit_engine kalvit_analysis)
