#pragma once
#include "engine/model.h"
// The start-test command: one synchronous pass through the tests on the user-interface thread,
// from reading the options to storing the speeds, painting the test page and, at the end, the
// score. It drains the message queue after every pass, which is how the stop button reaches it.

// Runs the benchmark; returns at once, doing nothing, while a run is in progress.
void run_benchmark();

// Delivers what waits for the test page, then for the property sheet: the run's way of keeping
// the window alive between its steps.
void drain_page_and_sheet();

// Runs since the program started; the first is No. 1.
extern int run_number;
// The options of the last run, read from the options page at the start of every run.
extern TestOptions run_options;
