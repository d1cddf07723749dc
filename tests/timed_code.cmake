# The timed loops in the object code (tests/native/check_timed_code.py): the very objects that go
# into the engine, and broken samples of every loop, each of which the check must reject.
function(kalvit_timed_code_tests objdump)
    add_library(kalvit_broken_loops OBJECT
                ${PROJECT_SOURCE_DIR}/tests/native/broken_loops_sample.cpp)
    target_compile_options(kalvit_broken_loops PRIVATE ${kalvit_release_flags} ${kalvit_sse_flag})
    set(check ${PROJECT_SOURCE_DIR}/tests/native/check_timed_code.py)
    add_test(NAME timed_code
             COMMAND ${Python3_EXECUTABLE} ${check} ${objdump} $<TARGET_OBJECTS:kalvit_timed_loops>)
    add_test(NAME timed_code_rejects
             COMMAND ${Python3_EXECUTABLE} ${check} --reject ${objdump}
                     $<TARGET_OBJECTS:kalvit_broken_loops>)
    set_tests_properties(timed_code_rejects PROPERTIES
                         PASS_REGULAR_EXPRESSION "rejected: 19 of 19 found")
    set_tests_properties(timed_code timed_code_rejects PROPERTIES LABELS no_wine)
endfunction()
