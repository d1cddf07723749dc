#pragma once
#include "ui/printf_format.h"
#include <cstdio>
// The diagnostic log: one line per call, the separator written before each line. Off unless
// switched on, and then it costs one test per call and formats nothing.

// printf-style; GBK text. A formatted line holds at most 2047 characters (longer ones are cut).
void QMsgLog(const char* format, ...) KALVIT_PRINTF(1, 2);

// Opens (truncating) the log file at a GBK path and switches the log on. False if it cannot.
bool log_open(const char* gbk_path);
// Switches the log on over an already open stream; the log does not close it.
void log_attach(FILE* stream);
// Flushes, closes the file the log opened, and switches the log off.
void log_close();
bool log_enabled();

// The program's own switch: the environment variable KALVIT_LOG names the log file.
void log_open_from_environment();

// Milliseconds of the run-time library's process clock, the time used in log lines.
long process_clock_ms();
