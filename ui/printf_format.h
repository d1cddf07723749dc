#pragma once
// printf-style functions are checked against the C library that formats for them: on Windows
// the Windows runtime's printf (64-bit integers as "%I64u", no "%zu" or "%ll"), elsewhere C99's.
#ifdef _WIN32
#define KALVIT_PRINTF(format_index, first_arg) \
    __attribute__((format(ms_printf, format_index, first_arg)))
#else
#define KALVIT_PRINTF(format_index, first_arg) \
    __attribute__((format(gnu_printf, format_index, first_arg)))
#endif
