#pragma once
// Process-wide state of a benchmark run, read by every window that must not interfere with it.

// A run is in progress: the frame refuses to close, the sheet keeps its page.
extern volatile int test_running;
// The user pressed "停止测试"; every test loop reads it before each outer pass.
extern volatile int stop_requested;
