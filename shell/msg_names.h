#pragma once
#include <cstdint>
// Names of window messages for log lines.

// The name of a message number; null while the table is switched off; "---UNKNOW_MSG---"
// (in the shared text buffer) for a number the table does not hold.
const char* QMsgName(uint32_t message);

// Switches the table on, filled with the platform's window-message names.
void msg_names_enable();
void msg_names_disable();
