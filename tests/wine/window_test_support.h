#pragma once
#include <windows.h>
#include <commctrl.h>

#include "ui/app.h"
// Driving windows of the test process itself.

// Delivers every pending message of the thread.
inline void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Clicks a tab as a user would: button down and up at the centre of its rectangle.
inline void click_tab(HWND tab, int index) {
    RECT r{};
    SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tab, WM_LBUTTONUP, 0, at);
    pump();
}

// Posts a key press (down and up) to the focused window and delivers the queue the way the
// program's message loop does, dialog keyboard handling included.
inline void press(UINT key) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ui::App::process(msg);
}
