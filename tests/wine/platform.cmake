# The platform floor of the delivered executables: Windows XP loads them (imports and header
# versions), and in the 32-bit build no instruction beyond the i586 set (the runtime's: i686)
# runs outside the floating-point kernels. Samples that break each rule must be rejected.
set(kalvit_platform_checks ${CMAKE_CURRENT_LIST_DIR})
set(kalvit_delivered $<TARGET_FILE:kalvit> $<TARGET_FILE:kalvit-kernels>)

# xp_floor_sample_N: one way to break the floor each (see the source); 3 asks for Vista in its
# header, so it goes without the base options, which ask for XP.
function(kalvit_floor_sample n)
    add_executable(xp_floor_sample_${n} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/xp_floor_sample.cpp)
    target_compile_definitions(xp_floor_sample_${n} PRIVATE KALVIT_SAMPLE=${n})
    target_compile_options(xp_floor_sample_${n} PRIVATE -Wno-unused-parameter)
    if(n EQUAL 3)
        target_link_options(xp_floor_sample_${n} PRIVATE -static
            LINKER:--major-os-version,6,--minor-os-version,0
            LINKER:--major-subsystem-version,6,--minor-subsystem-version,0)
    else()
        target_link_libraries(xp_floor_sample_${n} PRIVATE kalvit_base_options)
    endif()
    if(n EQUAL 2)
        target_link_libraries(xp_floor_sample_${n} PRIVATE dwmapi)
    endif()
    target_link_options(xp_floor_sample_${n} PRIVATE
        LINKER:-Map=$<TARGET_FILE_DIR:xp_floor_sample_${n}>/xp_floor_sample_${n}.exe.map)
endfunction()

set(kalvit_import_samples)
foreach(n 1 2 3)
    kalvit_floor_sample(${n})
    list(APPEND kalvit_import_samples $<TARGET_FILE:xp_floor_sample_${n}>)
endforeach()

add_test(NAME xp_imports
         COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_imports.py
                 ${KALVIT_MINGW_OBJDUMP} ${kalvit_platform_checks}/newer_than_xp.txt
                 ${kalvit_delivered})
add_test(NAME xp_imports_rejects
         COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_imports.py --reject
                 ${KALVIT_MINGW_OBJDUMP} ${kalvit_platform_checks}/newer_than_xp.txt
                 ${kalvit_import_samples})
set_tests_properties(xp_imports_rejects PROPERTIES PASS_REGULAR_EXPRESSION "rejected: 3 of 3")
# The checks read the executables on Linux and need no Wine.
set_tests_properties(xp_imports xp_imports_rejects PROPERTIES LABELS no_wine)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    kalvit_floor_sample(4)
    kalvit_floor_sample(5)
    add_test(NAME instruction_floor
             COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_instructions.py
                     ${KALVIT_MINGW_OBJDUMP} ${kalvit_delivered})
    add_test(NAME instruction_floor_rejects
             COMMAND ${Python3_EXECUTABLE} -B ${kalvit_platform_checks}/check_instructions.py
                     --reject ${KALVIT_MINGW_OBJDUMP} $<TARGET_FILE:xp_floor_sample_4>
                     $<TARGET_FILE:xp_floor_sample_5>)
    set_tests_properties(instruction_floor_rejects PROPERTIES
                         PASS_REGULAR_EXPRESSION "rejected: 2 of 2")
    set_tests_properties(instruction_floor instruction_floor_rejects PROPERTIES LABELS no_wine)
endif()
