# The disk test needs the Windows file and virtual-memory API; the run's recording is a Windows
# metafile.
if(WIN32)
    target_sources(kalvit_engine PRIVATE measure_disk.cpp run_recording.cpp)
    target_link_libraries(kalvit_engine PUBLIC kalvit_ui gdi32 user32)
endif()
