#pragma once
#include <windows.h>

#include "ui/app.h"
#include "ui/text_api.h"
// The pages' text and picture links show the application's pointing hand while the pointer is
// over them.

constexpr int kHandCursorId = 135;

inline HCURSOR hand_cursor() {
    return ui::load_cursor(kHandCursorId);
}

// WM_SETCURSOR of a page with a link: over the link the hand stays, where the class's arrow would
// replace it at every move. True when handled (the page then returns TRUE).
inline bool keep_hand_cursor(HWND page, bool link_hot, WPARAM wparam, LPARAM lparam) {
    if (!link_hot || reinterpret_cast<HWND>(wparam) != page || LOWORD(lparam) != HTCLIENT)
        return false;
    SetCursor(hand_cursor());
    ui::set_window_long(page, DWLP_MSGRESULT, TRUE);
    return true;
}
