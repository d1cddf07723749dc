# kalvit.exe: the pages and the application shell over the thin Win32 layer (ui/).
add_library(kalvit_app STATIC
    analysis/analyse_dlg.cpp
    analysis/report.cpp
    analysis/score_dlg.cpp
    analysis/upload.cpp
    analysis/upload_dlg.cpp
    analysis/welcome_dlg.cpp
    engine/measure_blit.cpp
    engine/directx.cpp
    engine/benchmark_run.cpp
    infopage/about_page.cpp
    pages/comparison_chart.cpp
    pages/contrast_page.cpp
    pages/test_page.cpp
    sysinfo/machine_info_win.cpp
    sysinfo/mi_dlg.cpp
    shell/bench_app.cpp
    shell/main_frame.cpp
    shell/msg_pump.cpp
    shell/sheet.cpp
)
target_link_libraries(kalvit_app PUBLIC kalvit_pages kalvit_infopage kalvit_ui kalvit_profile
                      kalvit_sysinfo kalvit_engine kalvit_shell kalvit_options dxguid
                      shell32 gdi32 user32 winmm advapi32)

add_executable(kalvit WIN32 shell/main.cpp)
target_link_libraries(kalvit PRIVATE kalvit_app kalvit_resources kalvit_options)
kalvit_start(kalvit gui)
# The linker's map tells the instruction check where each piece of code came from.
target_link_options(kalvit PRIVATE LINKER:-Map=${CMAKE_BINARY_DIR}/kalvit.exe.map)
set_target_properties(kalvit PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The DirectDraw error names, delivered beside the program (made by tools/make-dderr.py).
configure_file(${PROJECT_SOURCE_DIR}/data/dderr.txt ${CMAKE_BINARY_DIR}/dderr.txt COPYONLY)
# The machine records a first start finds: the base system alone (our own information text).
foreach(records kalvit.dat kalvitif.dat)
    configure_file(${PROJECT_SOURCE_DIR}/data/${records} ${CMAKE_BINARY_DIR}/${records} COPYONLY)
endforeach()
