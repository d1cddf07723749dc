# Floating-point test: the loops, the plain, SSE and 3DNow! kernels, and the processor checks.
# x86-64 has SSE throughout, and the 3DNow! kernels are assembly, so no instruction-set flags.
target_sources(kalvit_engine PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/float_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_sse.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_3dnow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_cpu.cpp
)
if(WIN32)
    # MinGW-w64 GCC realigns every frame by default (-mstackrealign), and GCC 12 then stops with an
    # internal error on frames that call the SSE kernels' System V convention. The Win64
    # convention already guarantees a 16-byte aligned stack.
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/float_sse.cpp
        PROPERTIES COMPILE_OPTIONS -mincoming-stack-boundary=4)
endif()
