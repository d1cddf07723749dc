# The one driver library of the Wine tests (which bench/'s console tools also use): kalvit.exe
# driven from outside (driver, program_run, install) and the real frame and pages driven inside
# the test process (driver_window, whose pump delivers messages the way the program's loop does);
# then the user-interface tests. Labels: no_wine (checks of the executables on Linux), quick (the
# engine's and the configuration's cases under Wine), installer, journey (journey.cmake); the
# user-interface suites have none.
add_library(kalvit_ui_driver STATIC
    ${CMAKE_CURRENT_LIST_DIR}/driver.cpp ${CMAKE_CURRENT_LIST_DIR}/driver_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program_run.cpp
)
target_link_libraries(kalvit_ui_driver PUBLIC kalvit_ui kalvit_shell kalvit_options comctl32 advapi32
                      shlwapi user32 gdi32)

# kalvit_ui_test(name SOURCES...): tests of the real kalvit.exe with an installation laid out
# from the build.
function(kalvit_ui_test name)
    kalvit_test(${name} ${ARGN} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ui_fixture.cpp)
    target_link_libraries(${name} PRIVATE kalvit_ui_driver kalvit_shell)
    target_compile_definitions(${name} PRIVATE
        KALVIT_EXE="$<TARGET_FILE:kalvit>"
        KALVIT_CONFIG="${PROJECT_SOURCE_DIR}/data/kalvtetc.inf"
        KALVIT_DATA_DIR="${PROJECT_SOURCE_DIR}/data"
        KALVIT_PDATA_DIR="${CMAKE_BINARY_DIR}/pdata")
    add_dependencies(${name} kalvit)
    if(TARGET kalvit_art)
        add_dependencies(${name} kalvit_art)
    endif()
endfunction()

if(TARGET kalvit)
    kalvit_ui_test(kalvit_ui_tests
        ${CMAKE_CURRENT_LIST_DIR}/ui_frame_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ui_startup_test.cpp
    )
    # Kills during store and delete: many starts of the program, a test of its own.
    kalvit_ui_test(kalvit_records_ui_tests ${CMAKE_CURRENT_LIST_DIR}/ui_records_test.cpp)
    # Whole benchmark runs of the program take minutes: a test of their own. It runs beside a
    # results service of its own (tools/with-results.sh), which receives the run's upload: the
    # target's emulator is the service's starter followed by Wine's.
    set(KALVIT_RESULTS_SERVER ${PROJECT_SOURCE_DIR}/build/native-asan/server/kalvit-results
        CACHE FILEPATH "The native kalvit-results program that the run's upload is sent to")
    kalvit_ui_test(kalvit_run_ui_tests ${CMAKE_CURRENT_LIST_DIR}/ui_run_test.cpp)
    set_tests_properties(kalvit_run_ui_tests kalvit_records_ui_tests PROPERTIES TIMEOUT 1800)
    set_target_properties(kalvit_run_ui_tests PROPERTIES CROSSCOMPILING_EMULATOR
        "${PROJECT_SOURCE_DIR}/tools/with-results.sh;${KALVIT_RESULTS_SERVER};${CMAKE_CROSSCOMPILING_EMULATOR}")
    # The browser the upload is pointed at: a script that notes each address it is given. When a
    # results service runs (KALVIT_RESULTS_URL), the addresses of the configured site go on to it,
    # and the script notes the answer's status and the address it moves to in a second log.
    set(kalvit_site http://127.0.0.1:8642/)
    set(kalvit_browser ${CMAKE_CURRENT_BINARY_DIR}/note-address.sh)
    set(kalvit_browser_log ${CMAKE_CURRENT_BINARY_DIR}/browser-addresses.txt)
    set(kalvit_browser_answers ${CMAKE_CURRENT_BINARY_DIR}/browser-answers.txt)
    file(CONFIGURE OUTPUT ${kalvit_browser} @ONLY CONTENT [=[#!/bin/sh
printf '%s\n' "$1" >> '@kalvit_browser_log@'
case "$1" in
@kalvit_site@*)
    if [ -n "${KALVIT_RESULTS_URL:-}" ]; then
        to="$KALVIT_RESULTS_URL/${1#@kalvit_site@}"
        answer=$(curl -sS -o /dev/null --noproxy '*' --max-time 30 \
                      -w '%{http_code} %{redirect_url}' "$to" 2>&1) ||
            answer="$answer (curl failed: $?)"
        printf '%s\n' "$answer" >> '@kalvit_browser_answers@'
    fi
    ;;
esac
]=])
    file(CHMOD ${kalvit_browser} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    target_link_libraries(kalvit_run_ui_tests PRIVATE kalvit_analysis wininet)
    target_compile_definitions(kalvit_run_ui_tests PRIVATE KALVIT_BROWSER="${kalvit_browser}"
                               KALVIT_BROWSER_LOG="${kalvit_browser_log}"
                               KALVIT_BROWSER_ANSWERS="${kalvit_browser_answers}")
endif()

# The benchmark run with the real frame and pages in the test process.
if(TARGET kalvit_app)
    kalvit_test(run_tests ${CMAKE_CURRENT_LIST_DIR}/run_test.cpp)
    # Some forty runs of the benchmark: minutes on a busy machine.
    set_tests_properties(run_tests PROPERTIES TIMEOUT 1800)
    target_link_libraries(run_tests PRIVATE kalvit_app kalvit_resources kalvit_ui_driver)
    target_compile_definitions(run_tests PRIVATE KALVIT_BUILD_DIR="${CMAKE_BINARY_DIR}"
                               KALVIT_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
    if(TARGET kalvit_art)
        add_dependencies(run_tests kalvit_art)
    endif()
endif()

# The comparison page and the machine-information dialog over record files of known machines.
if(TARGET kalvit_app)
    kalvit_test(comparison_tests ${CMAKE_CURRENT_LIST_DIR}/comparison_test.cpp)
    target_link_libraries(comparison_tests PRIVATE kalvit_app kalvit_resources kalvit_ui_driver)
    target_compile_definitions(comparison_tests PRIVATE KALVIT_BUILD_DIR="${CMAKE_BINARY_DIR}")
    if(TARGET kalvit_art)
        add_dependencies(comparison_tests kalvit_art)
    endif()
endif()

# The information page's animation and links with the real frame and pages in the test process.
if(TARGET kalvit_app)
    kalvit_test(about_tests ${CMAKE_CURRENT_LIST_DIR}/about_test.cpp)
    target_link_libraries(about_tests PRIVATE kalvit_app kalvit_resources kalvit_ui_driver
                          kalvit_analysis)
    target_compile_definitions(about_tests PRIVATE KALVIT_BUILD_DIR="${CMAKE_BINARY_DIR}"
                               KALVIT_BROWSER="${kalvit_browser}"
                               KALVIT_BROWSER_LOG="${kalvit_browser_log}")
    if(TARGET kalvit_art)
        add_dependencies(about_tests kalvit_art)
    endif()
endif()


# The installer that tools/package.sh makes from both builds, run silently under Wine in a
# prefix of its own, made new for the test.
set(KALVIT_DIST_DIR ${PROJECT_SOURCE_DIR}/build/dist CACHE PATH
    "Folder of the packages that tools/package.sh makes")
add_executable(install_tests ${CMAKE_CURRENT_LIST_DIR}/install_test.cpp)
target_link_libraries(install_tests PRIVATE kalvit_options GTest::gtest_main kalvit_ui_driver
                      ole32 uuid shell32)
target_link_options(install_tests PRIVATE -mconsole)
add_test(NAME install_tests COMMAND ${PROJECT_SOURCE_DIR}/tools/fresh-prefix.sh
         ${kalvit_wine_arch} $<TARGET_FILE:install_tests>)
target_compile_definitions(install_tests PRIVATE KALVIT_SETUP="${KALVIT_DIST_DIR}/kalvit-setup.exe")
set_tests_properties(install_tests PROPERTIES LABELS installer)

