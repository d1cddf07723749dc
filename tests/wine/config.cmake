# Registry profile against the prefix's registry; the configuration reader, upload letters and
# code page 936 conversions as the Windows build runs them.
set(config_native_tests ${CMAKE_CURRENT_LIST_DIR}/../native)
kalvit_test(config_tests
    ${CMAKE_CURRENT_LIST_DIR}/profile_test.cpp
    ${config_native_tests}/config_file_test.cpp
    ${config_native_tests}/upload_letters_test.cpp
    ${config_native_tests}/gbk_texts_test.cpp
)
target_link_libraries(config_tests PRIVATE kalvit_profile kalvit_analysis shlwapi)
target_compile_definitions(config_tests PRIVATE KALVIT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
set_tests_properties(config_tests PROPERTIES LABELS quick)
