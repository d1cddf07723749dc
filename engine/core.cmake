# Benchmark model, integer test, memory test, and the DirectDraw test's window-free rules.
target_sources(kalvit_engine PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/model.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run_rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/disturbance.cpp
    ${CMAKE_CURRENT_LIST_DIR}/measure_integer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/memory_blocks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/measure_memory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/blit_rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pixel_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dx_errors.cpp
)
target_sources(kalvit_timed_loops PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/integer_kernel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/memory_kernels.cpp
)
