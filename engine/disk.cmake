# The disk test needs the Windows file and virtual-memory API.
if(WIN32)
    target_sources(kalvit_engine PRIVATE disk_test.cpp)
endif()
