#pragma once
#include <windows.h>
#include <commctrl.h>
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
