# The service's store connections: SQLite, built in, and PostgreSQL through libpq.
find_package(SQLite3 REQUIRED)
find_package(PostgreSQL QUIET)
# The project's options stay private: the library's own sources hold no text literals, and a
# user of server/db.h keeps its own execution character set.
add_library(kalvit_results_db STATIC db.cpp sqlite_db.cpp pg_db.cpp)
target_include_directories(kalvit_results_db PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kalvit_results_db PRIVATE kalvit_options SQLite::SQLite3)
if(TARGET PostgreSQL::PostgreSQL)
    target_link_libraries(kalvit_results_db PRIVATE PostgreSQL::PostgreSQL)
else()
    # Without the server headers some FindPostgreSQL versions give up; libpq's own
    # pkg-config file is enough for a client.
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(kalvit_libpq REQUIRED IMPORTED_TARGET libpq)
    target_link_libraries(kalvit_results_db PRIVATE PkgConfig::kalvit_libpq)
endif()

if(BUILD_TESTING)
    # The connection contract over SQLite, and over PostgreSQL when KALVIT_TEST_POSTGRES names
    # a server; results_db_postgres starts a throw-away server for it.
    kalvit_test(results_db_tests ${PROJECT_SOURCE_DIR}/tests/native/results_db_test.cpp)
    target_link_libraries(results_db_tests PRIVATE kalvit_results_db)
    set_target_properties(results_db_tests PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/native)
    add_test(NAME results_db_postgres
             COMMAND ${PROJECT_SOURCE_DIR}/tools/with-postgres.sh $<TARGET_FILE:results_db_tests>)
    set_tests_properties(results_db_postgres PROPERTIES TIMEOUT 300)
endif()
