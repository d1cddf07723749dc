# The thin Win32 layer on its own, with test templates of its own.
kalvit_test(ui_layer_tests
    ${CMAKE_CURRENT_LIST_DIR}/ui_layer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_layer_test.rc
)
target_link_libraries(ui_layer_tests PRIVATE kalvit_ui)
