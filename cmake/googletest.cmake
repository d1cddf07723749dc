# GoogleTest from the sources of Debian's googletest package, for the host and for MinGW alike.
set(KALVIT_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(${KALVIT_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(WIN32)
    # The win32 thread model's runtime has no std::mutex: GoogleTest runs single-threaded, and
    # its death tests get their handle owner from cmake/gtest_auto_handle.h.
    target_compile_definitions(gtest PUBLIC GTEST_IS_THREADSAFE=0)
    target_compile_options(gtest PRIVATE -include ${CMAKE_CURRENT_LIST_DIR}/gtest_auto_handle.h)
endif()

# kalvit_test(name SOURCES...): one test executable, registered as a single ctest test (every
# Wine process start costs a second or more, so cases are not discovered one by one).
function(kalvit_test name)
    # NO_TEST: the executable only, which a test of its own runs (a script around it, say).
    cmake_parse_arguments(PARSE_ARGV 1 arg "NO_TEST" "" "")
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE kalvit_options GTest::gtest_main)
    if(WIN32)
        target_link_options(${name} PRIVATE -mconsole)
    endif()
    if(NOT arg_NO_TEST)
        add_test(NAME ${name} COMMAND ${name})
    endif()
endfunction()
