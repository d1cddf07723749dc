# tools/soak.sh: one program start, many runs, and the program's resources after each.
add_library(kalvit_process_counters STATIC ${CMAKE_CURRENT_LIST_DIR}/process_counters.cpp)
target_link_libraries(kalvit_process_counters PUBLIC kalvit_options psapi ntdll)
target_include_directories(kalvit_process_counters PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(soak ${CMAKE_CURRENT_LIST_DIR}/soak.cpp)
target_link_libraries(soak PRIVATE kalvit_ui_driver kalvit_process_counters)
target_link_options(soak PRIVATE -mconsole -municode)
set_target_properties(soak PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

kalvit_test(process_counters_tests ${CMAKE_CURRENT_LIST_DIR}/process_counters_test.cpp)
target_link_libraries(process_counters_tests PRIVATE kalvit_process_counters kalvit_ui_driver)
