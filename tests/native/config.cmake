# Configuration file, upload letters, and the GBK texts of the program.
kalvit_test(config_tests
    ${CMAKE_CURRENT_LIST_DIR}/config_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/upload_letters_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/gbk_texts_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/source_texts_test.cpp
)
target_link_libraries(config_tests PRIVATE kalvit_shell kalvit_analysis)
target_compile_definitions(config_tests PRIVATE KALVIT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
