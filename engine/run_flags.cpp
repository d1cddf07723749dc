#include "engine/run_flags.h"

volatile int test_running = 0;
volatile int stop_requested = 0;
