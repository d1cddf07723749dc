# The thin Win32 layer on its own, with test templates of its own.
kalvit_test(ui_layer_tests
    ${CMAKE_CURRENT_LIST_DIR}/ui_layer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_layer_test.rc
    ${CMAKE_CURRENT_LIST_DIR}/runtime_pieces_test.cpp
    # The program's guards of function-local statics, in place of the C++ library's.
    ${PROJECT_SOURCE_DIR}/ui/static_guard.cpp
)
target_link_libraries(ui_layer_tests PRIVATE kalvit_ui_driver kalvit_ui)

# The real frame, sheet and pages in the test process, with the program's templates.
if(TARGET kalvit_app)
    kalvit_test(shell_frame_tests
        ${CMAKE_CURRENT_LIST_DIR}/shell_frame_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/templates_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ui_layer_test.rc
    )
    target_link_libraries(shell_frame_tests PRIVATE kalvit_app kalvit_resources kalvit_ui_driver)
endif()
