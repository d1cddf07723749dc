# tools/bench-start.sh: times the program's start-up from outside and reads its peak working set.
add_executable(bench-start ${CMAKE_CURRENT_LIST_DIR}/bench_start.cpp)
target_link_libraries(bench-start PRIVATE kalvit_ui_driver psapi)
target_link_options(bench-start PRIVATE -mconsole -municode)
set_target_properties(bench-start PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
