# The configuration file reader and its texts (portable); the registry profile (Windows).
target_sources(kalvit_shell PRIVATE ${CMAKE_CURRENT_LIST_DIR}/config_file.cpp)
if(WIN32)
    add_library(kalvit_profile STATIC ${CMAKE_CURRENT_LIST_DIR}/profile.cpp)
    target_link_libraries(kalvit_profile PUBLIC kalvit_shell kalvit_options advapi32)
endif()
