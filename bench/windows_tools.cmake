# The console tools that drive the real kalvit.exe under Wine: the screenshots of tools/run.sh,
# the start-up and run timings of tools/bench-start.sh and tools/bench-run.sh, and the long run of
# tools/soak.sh with the program's resources after each run. They drive the program with the
# Wine tests' driver library.
add_library(kalvit_process_counters STATIC process_counters.cpp)
target_link_libraries(kalvit_process_counters PUBLIC kalvit_options psapi ntdll)
target_include_directories(kalvit_process_counters PUBLIC ${PROJECT_SOURCE_DIR})

function(kalvit_console_tool name source)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE kalvit_ui_driver kalvit_options ${ARGN})
    target_link_options(${name} PRIVATE -mconsole -municode)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
                          KALVIT_EXCEPTIONS ON)
endfunction()

kalvit_console_tool(shots shots.cpp)
kalvit_console_tool(bench-start start_timing.cpp psapi)
kalvit_console_tool(bench-run run_timing.cpp)
kalvit_console_tool(soak soak.cpp kalvit_process_counters)
