#pragma once
#include <windows.h>

#include <string>

#include "ui/gbk.h"
// Window texts in GBK: converted to UTF-16 at the call, never through the A API.

namespace ui {

inline void set_text(HWND hwnd, const char* gbk) { SetWindowTextW(hwnd, to_wide(gbk).c_str()); }

inline std::string get_text(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    int got = GetWindowTextW(hwnd, w.data(), n + 1);
    w.resize(static_cast<size_t>(got > 0 ? got : 0));
    return to_gbk(w);
}

// Entry `index` of a combo box's list.
inline std::string combo_item_text(HWND combo, int index) {
    LRESULT n = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == CB_ERR)
        return {};
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    LRESULT got = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                               reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<size_t>(got > 0 ? got : 0));
    return to_gbk(w);
}

} // namespace ui
