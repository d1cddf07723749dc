# Floating-point test: the loops, the plain, SSE and 3DNow! kernels, and the processor checks.
# x86-64 has SSE throughout, and the 3DNow! kernels are assembly, so no instruction-set flags.
target_sources(kalvit_engine PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/float_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_cpu.cpp
)
target_sources(kalvit_timed_loops PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/float_plain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_sse.cpp
    ${CMAKE_CURRENT_LIST_DIR}/float_3dnow.cpp
)
