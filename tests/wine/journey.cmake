# The journeys on old Windows (tools/journey.sh): the real kalvit.exe driven through one user's
# way in a prefix that answers as Windows 98 and in one that answers as NT 4.0, each with the
# check of the Windows functions the program called (check_trace.py over Wine's relay trace,
# against the table of the functions each Windows exports). Labelled "journey".
set(KALVIT_WINDOWS_FUNCTIONS ${CMAKE_CURRENT_LIST_DIR}/windows_functions.txt CACHE FILEPATH
    "The table of Windows functions with the versions that export them")
if(TARGET kalvit)
    kalvit_ui_test(journey_tests NO_TEST ${CMAKE_CURRENT_LIST_DIR}/journey_test.cpp)
    target_compile_definitions(journey_tests PRIVATE KALVIT_BROWSER="${kalvit_browser}"
                               KALVIT_BROWSER_LOG="${kalvit_browser_log}")
    foreach(pose win98 nt40)
        add_test(NAME journey_${pose}
                 COMMAND ${PROJECT_SOURCE_DIR}/tools/journey.sh ${pose} ${CMAKE_BINARY_DIR}
                         $<TARGET_FILE:journey_tests> $<TARGET_FILE:kalvit>
                         ${KALVIT_MINGW_OBJDUMP}
                         ${KALVIT_WINDOWS_FUNCTIONS})
        set_tests_properties(journey_${pose} PROPERTIES LABELS journey TIMEOUT 3600)
    endforeach()
endif()
# The check must reject traces that break each rule (samples with the functions they break on).
add_test(NAME trace_check_rejects
         COMMAND ${Python3_EXECUTABLE} -B ${CMAKE_CURRENT_LIST_DIR}/check_trace.py --reject
                 ${KALVIT_WINDOWS_FUNCTIONS} ${CMAKE_CURRENT_LIST_DIR}/trace-win98.sample
                 ${CMAKE_CURRENT_LIST_DIR}/trace-nt40.sample)
set_tests_properties(trace_check_rejects PROPERTIES PASS_REGULAR_EXPRESSION "rejected: 2 of 2"
                     LABELS no_wine)
