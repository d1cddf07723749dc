# Floating-point test: the loops, the plain (x87), SSE and 3DNow! kernels, and the processor
# checks.
# The 3DNow! kernels are assembly; the SSE kernels take the SSE flag (kalvit_sse_flag).
target_sources(kalvit_engine PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/measure_float.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_cpu.cpp
)
target_sources(kalvit_timed_loops PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/float_plain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/x87_math.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_sse.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_3dnow.cpp
)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/float_sse.cpp PROPERTIES
                            COMPILE_OPTIONS "${kalvit_sse_flag}")
