# The real kalvit.exe worked at random from outside for a bounded time (KALVIT_MONKEY_SEED,
# KALVIT_MONKEY_SECONDS, KALVIT_MONKEY_REPLAY=<action log>). Its browser is the note-address
# script of ui.cmake; the actions go to monkey-actions.txt in this folder.
if(TARGET kalvit)
    kalvit_ui_test(kalvit_monkey_tests ${CMAKE_CURRENT_LIST_DIR}/monkey_test.cpp)
    target_compile_definitions(kalvit_monkey_tests PRIVATE
        KALVIT_BROWSER="${kalvit_browser}" KALVIT_BROWSER_LOG="${kalvit_browser_log}"
        KALVIT_MONKEY_LOG="${CMAKE_CURRENT_BINARY_DIR}/monkey-actions.txt")
    # Its 30 s end with the run under way, which may be a long DirectDraw test.
    set_tests_properties(kalvit_monkey_tests PROPERTIES TIMEOUT 1800)
endif()
