# The results service: its reading of uploads made by the program's own upload code, and the
# service over HTTP on loopback against the embedded store and against a PostgreSQL server
# started for the test (tools/with-postgres.sh).
if(TARGET kalvit_results_core)
    kalvit_test(results_upload_tests results_upload_test.cpp)
    target_link_libraries(results_upload_tests PRIVATE kalvit_results_core kalvit_analysis)
    kalvit_test(results_address_tests results_address_test.cpp)
    target_link_libraries(results_address_tests PRIVATE kalvit_results_core)
endif()
if(TARGET kalvit_results_core)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(KALVIT_TEST_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
    kalvit_test(results_http_tests results_http_test.cpp)
    target_link_libraries(results_http_tests PRIVATE kalvit_results_core kalvit_analysis
                          PkgConfig::KALVIT_TEST_HTTPLIB)
    add_test(NAME results_http_postgres
             COMMAND ${PROJECT_SOURCE_DIR}/tools/with-postgres.sh $<TARGET_FILE:results_http_tests>)
    set_tests_properties(results_http_tests results_http_postgres PROPERTIES TIMEOUT 600)
endif()
