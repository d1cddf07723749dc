# Benchmark model, integer test, memory test, the window-free rules of a run and of the DirectDraw
# test.
kalvit_test(engine_core_tests
    ${CMAKE_CURRENT_LIST_DIR}/engine_model_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_integer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_memory_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/disturbance_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run_rules_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/directx_rules_test.cpp
)
target_link_libraries(engine_core_tests PRIVATE kalvit_engine kalvit_analysis)
target_compile_definitions(engine_core_tests PRIVATE
                           KALVIT_DDERR_FILE="${PROJECT_SOURCE_DIR}/data/dderr.txt")

# The delivered error file is what tools/make-dderr.py makes of MinGW-w64's ddraw.h, where that
# header is installed.
set(kalvit_ddraw_h /usr/share/mingw-w64/include/ddraw.h)
if(EXISTS ${kalvit_ddraw_h})
    add_test(NAME dderr_file
             COMMAND ${Python3_EXECUTABLE} -B ${PROJECT_SOURCE_DIR}/tools/make-dderr.py --check
                     ${kalvit_ddraw_h} ${PROJECT_SOURCE_DIR}/data/dderr.txt)
endif()

# The timed loops in the host's object code.
find_program(KALVIT_OBJDUMP objdump REQUIRED)
kalvit_timed_code_tests(${KALVIT_OBJDUMP})
