#pragma once
#include <windows.h>
// The upload button of the analysis dialog: the current machine's results, under the upload
// account (asked for when none is stored), handed to the browser as the upload page's address.

void upload_results(HWND analysis_dialog, const char* settings);
