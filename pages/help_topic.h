#pragma once
#include <windows.h>
// The program's help: a topic of "kalvit.chm" in the install directory, shown by the HTML Help
// viewer.

// Opens "<install dir>\kalvit.chm::/<topic>" (the default topic for null). Without the help file
// the viewer is not called, a warning is logged, and the user is told where the file was looked
// for; nothing else happens.
void show_help_topic(HWND caller, const char* topic);
