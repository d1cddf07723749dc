# The platform floor of the delivered executables: the oldest Windows of each build loads them
# (imports and header versions; 32-bit: Windows 95 and NT 4.0, 64-bit: XP x64), and in the
# 32-bit build no instruction beyond the i586 set runs outside the floating-point kernels, in
# the start-up code and the linked runtime as in the program's own. Samples that break each
# rule must be rejected.
set(kalvit_platform_checks ${CMAKE_CURRENT_LIST_DIR})
# kalvit.exe is what the packages deliver; kalvit-kernels is a developer's console tool, held to
# the instruction floor only.
set(kalvit_delivered $<TARGET_FILE:kalvit>)
set(kalvit_checked_code $<TARGET_FILE:kalvit> $<TARGET_FILE:kalvit-kernels>)
set(kalvit_windows_functions ${kalvit_platform_checks}/windows_functions.txt)

# floor_sample_N: one way to break the floor each, and 7, which keeps to it (see the source).
# The import samples state the floor's header themselves (3 asks for Vista), so that each one
# is refused for its imports alone; the instruction samples (4, 5, 8) take the base options and
# the program's own start-up.
function(kalvit_floor_sample n)
    add_executable(floor_sample_${n} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/xp_floor_sample.cpp)
    target_compile_definitions(floor_sample_${n} PRIVATE KALVIT_SAMPLE=${n})
    target_compile_options(floor_sample_${n} PRIVATE -Wno-unused-parameter)
    if(n EQUAL 3)
        target_link_options(floor_sample_${n} PRIVATE -static
            LINKER:--major-os-version,6,--minor-os-version,0
            LINKER:--major-subsystem-version,6,--minor-subsystem-version,0)
    elseif(n EQUAL 4 OR n EQUAL 5 OR n EQUAL 8)
        target_link_libraries(floor_sample_${n} PRIVATE kalvit_base_options)
        target_link_options(floor_sample_${n} PRIVATE -mconsole)
        kalvit_start(floor_sample_${n} console)
    else()
        target_link_options(floor_sample_${n} PRIVATE -static
            LINKER:--major-os-version,${kalvit_os_major},--minor-os-version,${kalvit_os_minor}
            LINKER:--major-subsystem-version,${kalvit_os_major}
            LINKER:--minor-subsystem-version,${kalvit_os_minor})
    endif()
    if(n EQUAL 2)
        target_link_libraries(floor_sample_${n} PRIVATE dwmapi)
    endif()
    target_link_options(floor_sample_${n} PRIVATE
        LINKER:-Map=$<TARGET_FILE_DIR:floor_sample_${n}>/floor_sample_${n}.exe.map)
endfunction()

# Refused everywhere: 1 (Vista function), 2 (dwmapi.dll), 3 (Vista header); in the 32-bit build
# also 6 (GlobalMemoryStatusEx). Taken: 7, and 6 in the 64-bit build.
set(kalvit_import_samples)
set(kalvit_import_keepers)
foreach(n 1 2 3 6 7)
    kalvit_floor_sample(${n})
endforeach()
foreach(n 1 2 3)
    list(APPEND kalvit_import_samples $<TARGET_FILE:floor_sample_${n}>)
endforeach()
list(APPEND kalvit_import_keepers $<TARGET_FILE:floor_sample_7>)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND kalvit_import_samples $<TARGET_FILE:floor_sample_6>)
    set(kalvit_import_rejected "rejected: 4 of 4")
else()
    list(APPEND kalvit_import_keepers $<TARGET_FILE:floor_sample_6>)
    set(kalvit_import_rejected "rejected: 3 of 3")
endif()

add_test(NAME import_floor
         COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_imports.py
                 ${KALVIT_MINGW_OBJDUMP} ${kalvit_windows_functions} ${kalvit_delivered})
add_test(NAME import_floor_rejects
         COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_imports.py --reject
                 ${KALVIT_MINGW_OBJDUMP} ${kalvit_windows_functions} ${kalvit_import_samples})
set_tests_properties(import_floor_rejects PROPERTIES
                     PASS_REGULAR_EXPRESSION "${kalvit_import_rejected}")
add_test(NAME import_floor_accepts
         COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_imports.py
                 ${KALVIT_MINGW_OBJDUMP} ${kalvit_windows_functions} ${kalvit_import_keepers})
# The checks read the executables on Linux and need no Wine.
set_tests_properties(import_floor import_floor_rejects import_floor_accepts PROPERTIES
                     LABELS no_wine)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    kalvit_floor_sample(4)
    kalvit_floor_sample(5)
    kalvit_floor_sample(8)
    add_test(NAME instruction_floor
             COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_instructions.py
                     ${KALVIT_MINGW_OBJDUMP} ${kalvit_checked_code})
    add_test(NAME instruction_floor_rejects
             COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_instructions.py
                     --reject ${KALVIT_MINGW_OBJDUMP} $<TARGET_FILE:floor_sample_4>
                     $<TARGET_FILE:floor_sample_5> $<TARGET_FILE:floor_sample_8>)
    set_tests_properties(instruction_floor_rejects PROPERTIES
                         PASS_REGULAR_EXPRESSION "rejected: 3 of 3")
    set_tests_properties(instruction_floor instruction_floor_rejects PROPERTIES LABELS no_wine)
endif()
