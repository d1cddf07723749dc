# kalvit.exe driven from outside: the driver library, the user-interface tests and the
# screenshot tool of tools/run.sh.
add_library(kalvit_ui_driver STATIC
    ${CMAKE_CURRENT_LIST_DIR}/driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install.cpp
)
target_link_libraries(kalvit_ui_driver PUBLIC kalvit_shell kalvit_options comctl32 advapi32
                      user32 gdi32)

add_executable(shots ${CMAKE_CURRENT_LIST_DIR}/shots.cpp)
target_link_libraries(shots PRIVATE kalvit_ui_driver kalvit_options)
target_link_options(shots PRIVATE -mconsole -municode)
set_target_properties(shots PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(TARGET kalvit)
    kalvit_test(kalvit_ui_tests
        ${CMAKE_CURRENT_LIST_DIR}/ui_frame_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ui_profile_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ui_startup_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ui_fixture.cpp
    )
    target_link_libraries(kalvit_ui_tests PRIVATE kalvit_ui_driver kalvit_shell)
    target_compile_definitions(kalvit_ui_tests PRIVATE
        KALVIT_EXE="$<TARGET_FILE:kalvit>"
        KALVIT_CONFIG="${PROJECT_SOURCE_DIR}/data/kalvtetc.inf"
        KALVIT_DATA_DIR="${PROJECT_SOURCE_DIR}/data"
        KALVIT_PDATA_DIR="${CMAKE_BINARY_DIR}/pdata")
    add_dependencies(kalvit_ui_tests kalvit)
    if(TARGET kalvit_art)
        add_dependencies(kalvit_ui_tests kalvit_art)
    endif()
endif()

# The benchmark run with the real frame and pages in the test process.
if(TARGET kalvit_app)
    kalvit_test(run_tests ${CMAKE_CURRENT_LIST_DIR}/run_test.cpp)
    target_link_libraries(run_tests PRIVATE kalvit_app kalvit_resources kalvit_ui_driver)
    target_compile_definitions(run_tests PRIVATE KALVIT_BUILD_DIR="${CMAKE_BINARY_DIR}")
    if(TARGET kalvit_art)
        add_dependencies(run_tests kalvit_art)
    endif()
endif()
