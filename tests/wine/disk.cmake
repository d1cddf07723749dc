kalvit_test(disk_tests disk_test.cpp)
target_link_libraries(disk_tests PRIVATE kalvit_engine)
set_tests_properties(disk_tests PROPERTIES LABELS quick)
