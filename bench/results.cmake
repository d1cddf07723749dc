# results-load: load on a running kalvit-results (tools/bench-results.sh), with uploads made by
# the program's own upload code; it also prints the browser check's uploads.
if(TARGET kalvit_results_core)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(KALVIT_LOAD_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
    find_package(Threads REQUIRED)
    add_executable(results-load results_load.cpp)
    target_link_libraries(results-load PRIVATE kalvit_analysis kalvit_results_core
                          PkgConfig::KALVIT_LOAD_HTTPLIB Threads::Threads)
    set_target_properties(results-load PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
