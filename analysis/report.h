#pragma once
#include <windows.h>
// The text report "klvreport.txt" in the install directory: the analysis list as it stands,
// row by row, opened afterwards with the program the shell associates with text files.

// Reads every row of the list (at most 254 bytes a cell), writes the report and opens it. A file
// that cannot be created or written is reported; the list stays as it was.
void write_report(HWND list);
