# Benchmark model, integer test and memory test.
target_sources(kalvit_engine PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/model.cpp
    ${CMAKE_CURRENT_LIST_DIR}/integer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/memory_blocks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/memory_test.cpp
)
# The memory copy loops are an object library of their own: the tests disassemble exactly the
# object that goes into the engine.
add_library(kalvit_memory_kernels OBJECT ${CMAKE_CURRENT_LIST_DIR}/memory_kernels.cpp)
target_link_libraries(kalvit_memory_kernels PRIVATE kalvit_options)
target_sources(kalvit_engine PRIVATE $<TARGET_OBJECTS:kalvit_memory_kernels>)
