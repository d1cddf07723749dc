#pragma once
#include <windows.h>
// Draining the message queue from inside long work, so that windows repaint and the stop
// button works while the one user-interface thread is busy.

// The two windows the message services know about; either may be absent (null).
extern HWND welcome_window;    // the welcome window, hidden while a message box is open
extern HWND main_frame_window; // the main frame, whose messages are drained second

// Delivers every pending message without waiting: first those of `dialog` (if any), then the
// frame's, the thread's own, everything else, and the desktop window's.
void QMsgPump(HWND dialog = nullptr);

// Makes QMsgBox and plain_message_box show the Windows message box (OK button, caption
// "kalvit", owned by the window the user works in), QMsgBox hide the welcome window around it,
// and an exception that escapes a window's handler a log line.
void install_message_services();
